# The Debian package, built and checked as a user gets it (lintian, its files, its hack in the
# real daemon and in the settings preview), and the manual pages held to each program's --help.
# The package comes from release builds only: a sanitizer build's binaries are no package.
if(TARGET zibbles AND CMAKE_BUILD_TYPE STREQUAL "Release")
  find_program(ZIBBLES_LINTIAN lintian)
  find_program(ZIBBLES_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(ZIBBLES_LINTIAN AND ZIBBLES_DPKG_SHLIBDEPS)
    add_test(NAME DebianPackage
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/package.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION}
                     ${PROJECT_BINARY_DIR}/xscreensaver-settings.png)
    set_tests_properties(DebianPackage PROPERTIES LABELS "package;e2e" TIMEOUT 300)
  endif()
endif()
find_program(ZIBBLES_GROFF groff)
if(ZIBBLES_GROFF AND TARGET zibbles AND TARGET zibbles-render AND TARGET zibbles-inspect)
  add_test(NAME ManPages
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/man-pages.sh
                   $<TARGET_FILE:zibbles> ${PROJECT_BINARY_DIR}/package/zibbles.6
                   $<TARGET_FILE:zibbles-render> ${PROJECT_BINARY_DIR}/package/zibbles-render.1
                   $<TARGET_FILE:zibbles-inspect> ${PROJECT_BINARY_DIR}/package/zibbles-inspect.1)
  set_tests_properties(ManPages PROPERTIES LABELS "package" TIMEOUT 60)
endif()
