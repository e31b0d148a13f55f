# The desktop host on a private X server (Xvfb): a screenshot shows the background and the figure.
if(TARGET zibbles)
  find_program(ZIBBLES_XVFB Xvfb)
  if(ZIBBLES_XVFB)
    add_test(NAME DesktopScreenshot
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/desktop-screenshot.sh $<TARGET_FILE:zibbles>
                     ${CMAKE_CURRENT_LIST_DIR}/data/decode/golden-24x24.svg)
    set_tests_properties(DesktopScreenshot PROPERTIES LABELS "desktop" TIMEOUT 60)
  endif()
endif()
# A hack with nothing moving presents nothing after its first frame.
if(TARGET zibbles AND ZIBBLES_XVFB)
  add_test(NAME HackStillPresentsNothing
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/hack-still.sh $<TARGET_FILE:zibbles>
                   ${CMAKE_CURRENT_LIST_DIR}/data/decode/golden-24x24.svg)
  set_tests_properties(HackStillPresentsNothing PROPERTIES LABELS "desktop" TIMEOUT 60)
endif()
