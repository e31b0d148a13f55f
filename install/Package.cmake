# The Debian package (`make package`): CPack's DEB generator over the same install rules that
# `cmake --install` follows, so the package holds exactly what an install from the tree puts
# down, at the version of project(), with Depends computed from the binaries.
if(NOT TARGET zibbles)
  return()
endif()
include(GNUInstallDirs)
set(_zibbles_made ${PROJECT_BINARY_DIR}/package)

# Manual pages and the changelog, compressed the way Debian wants them (no name or time stamp in
# the gzip header, so a rebuild gives the same bytes).
set(_zibbles_compressed)
foreach(page zibbles.6 zibbles-render.1 zibbles-inspect.1)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${page}.in ${_zibbles_made}/${page} @ONLY)
  string(REGEX MATCH "[0-9]$" _zibbles_section ${page})
  install(FILES ${_zibbles_made}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_zibbles_section})
  list(APPEND _zibbles_compressed ${_zibbles_made}/${page}.gz)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${_zibbles_made}/changelog @ONLY)
list(APPEND _zibbles_compressed ${_zibbles_made}/changelog.gz)
foreach(compressed ${_zibbles_compressed})
  string(REGEX REPLACE "\\.gz$" "" _zibbles_plain ${compressed})
  add_custom_command(OUTPUT ${compressed} COMMAND gzip -9nkf ${_zibbles_plain}
                     DEPENDS ${_zibbles_plain} VERBATIM)
endforeach()
add_custom_target(zibbles_package_files ALL DEPENDS ${_zibbles_compressed})

set(_zibbles_doc ${CMAKE_INSTALL_DATADIR}/doc/zibbles)
install(FILES ${_zibbles_made}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
        DESTINATION ${_zibbles_doc})

# /usr/bin/zibbles is the hack itself, for --window, --fullscreen and sessions without a daemon.
if(IS_ABSOLUTE "${ZIBBLES_HACK_DIR}")
  set(_zibbles_link_target "${ZIBBLES_HACK_DIR}/zibbles")
else()
  file(RELATIVE_PATH _zibbles_link_target /${CMAKE_INSTALL_BINDIR} /${ZIBBLES_HACK_DIR}/zibbles)
endif()
file(CREATE_LINK ${_zibbles_link_target} ${_zibbles_made}/zibbles SYMBOLIC)
install(FILES ${_zibbles_made}/zibbles DESTINATION ${CMAKE_INSTALL_BINDIR})

# The idle launcher as a systemd user unit, where Debian keeps them; the package enables nothing:
# a user turns it on with `systemctl --user enable --now zibbles-idle.service`. Its ExecStart
# names /usr/bin/zibbles, the package's path.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zibbles-idle.service
        DESTINATION lib/systemd/user)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zibbles)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "The Zibbles developers <zibbles@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen saver of pixel-art figures read from the blockchain")
# Debian wants the long description in lines of at most 80 columns; CPack keeps them as written.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
       "One figure at a time moves over a dark grey background along 45-degree"
       "diagonals and bounces off the edges of the screen; at each bounce the next"
       "figure takes its place. Every figure is the on-chain artwork of one token of"
       "a collection, fetched with eth_call of tokenURI from a JSON-RPC endpoint"
       "fixed at build time, and drawn crisp."
       "."
       "The package holds the hack for XScreenSaver, the same program for a window"
       "or full screen, a headless renderer that writes frames as PNG files, and an"
       "inspector that says why a token's artwork does not decode.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xscreensaver)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
include(CPack)
