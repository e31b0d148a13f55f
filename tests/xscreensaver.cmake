# The desktop host as a hack of the real screen-saver daemon, on a private X server, with
# figures from the demo chain. Needs root (the daemon runs as uid 65534 through setpriv).
if(TARGET zibbles)
  find_program(ZIBBLES_XSCREENSAVER xscreensaver)
  find_program(ZIBBLES_XVFB Xvfb)
  if(ZIBBLES_XSCREENSAVER AND ZIBBLES_XVFB)
    # One daemon at a time: each test's deadlines assume the machine is not also cycling another.
    add_test(NAME XScreenSaverHack
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/xscreensaver-e2e.sh $<TARGET_FILE:zibbles>)
    set_tests_properties(XScreenSaverHack PROPERTIES LABELS "desktop;e2e" TIMEOUT 90
                                                   RESOURCE_LOCK xscreensaver-daemon)
    # 40 activations 1 to 5 s apart, with a chain outage: five to seven minutes on a busy machine.
    add_test(NAME XScreenSaverCycles
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/xscreensaver-cycles.sh $<TARGET_FILE:zibbles>)
    set_tests_properties(XScreenSaverCycles PROPERTIES LABELS "desktop;e2e" TIMEOUT 900
                                                     RESOURCE_LOCK xscreensaver-daemon)
  endif()
endif()
