# zibbles: the desktop host (SDL2 window, full screen on every display, or a screen-saver
# daemon's hack; a Wayland client of its own in a Wayland session), and where `cmake --install`
# puts the programs.
if(TARGET zibbles_platform_desktop)
  add_executable(zibbles
    ${CMAKE_CURRENT_LIST_DIR}/DesktopMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopLoop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HackOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HackWindowX11.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostEnvironment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InspectChain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WaylandDesktop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WaylandLoop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WaylandQuitRules.cpp)
  target_include_directories(zibbles PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(zibbles PRIVATE zibbles_module zibbles_platform_desktop zibbles_decode)

  # Debian's screen-saver daemon looks for its hacks in /usr/libexec/xscreensaver: configure
  # with -DCMAKE_INSTALL_PREFIX=/usr to put the hack there.
  include(GNUInstallDirs)
  set(ZIBBLES_HACK_DIR "${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver" CACHE PATH
      "Where the screen-saver hack is installed (relative to the install prefix unless absolute)")
  install(TARGETS zibbles RUNTIME DESTINATION "${ZIBBLES_HACK_DIR}")
  install(FILES ${PROJECT_SOURCE_DIR}/install/zibbles.xml
          DESTINATION "${CMAKE_INSTALL_DATADIR}/xscreensaver/config")
endif()

# The other hosts' fragments are included before this one (in name order).
foreach(program zibbles-render zibbles-inspect)
  if(TARGET ${program})
    include(GNUInstallDirs)
    install(TARGETS ${program} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  endif()
endforeach()
