# The hack as a saver module of another locker: xsecurelock's per-monitor helper runs it on a
# private X server, with a figure from a file. Needs root (the helper runs as uid 65534).
if(TARGET zibbles)
  find_program(ZIBBLES_XVFB Xvfb)
  find_program(ZIBBLES_SAVER_MULTIPLEX saver_multiplex PATHS /usr/libexec/xsecurelock NO_DEFAULT_PATH)
  if(ZIBBLES_XVFB AND ZIBBLES_SAVER_MULTIPLEX)
    add_test(NAME XSecureLockSaver
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/xsecurelock-saver.sh $<TARGET_FILE:zibbles>
                     ${CMAKE_CURRENT_LIST_DIR}/data/decode/golden-24x24.svg)
    set_tests_properties(XSecureLockSaver PROPERTIES LABELS "desktop;e2e" TIMEOUT 60)
  endif()
endif()
