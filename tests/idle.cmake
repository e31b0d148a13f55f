# zibbles --idle, the resident launcher: its choice of idle source and the saver's command line
# from the hosts' sources, then one script per real session (headless mutter on its own session
# bus, kwin_wayland --virtual, headless sway, Xvfb without and with the daemon).
if(TARGET IdleLauncherTest)
  target_sources(IdleLauncherTest PRIVATE ${PROJECT_SOURCE_DIR}/hosts/saver/IdleSourceChoice.cpp
                                          ${PROJECT_SOURCE_DIR}/hosts/saver/SaverChild.cpp
                                          ${PROJECT_SOURCE_DIR}/hosts/saver/IdleLauncherStart.cpp)
  target_include_directories(IdleLauncherTest PRIVATE ${PROJECT_SOURCE_DIR})
endif()
if(TARGET zibbles)
  foreach(session mutter kwin sway x11)
    string(SUBSTRING ${session} 0 1 _first)
    string(TOUPPER ${_first} _first)
    string(SUBSTRING ${session} 1 -1 _rest)
    add_test(NAME IdleLauncher${_first}${_rest}
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/idle-${session}.sh $<TARGET_FILE:zibbles>)
    set_tests_properties(IdleLauncher${_first}${_rest} PROPERTIES
                         LABELS "desktop;e2e;idle" TIMEOUT 120 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
  endforeach()
endif()
