# Every program's answer to input it cannot take (usage errors, absent displays, sizes too large,
# an X server that goes away), from one table.
if(TARGET zibbles AND TARGET zibbles-render AND TARGET zibbles-inspect)
  add_test(NAME BadInput COMMAND ${CMAKE_CURRENT_LIST_DIR}/bad-input.sh
                                 $<TARGET_FILE_DIR:zibbles>)
  set_tests_properties(BadInput PROPERTIES LABELS "desktop" TIMEOUT 60)
endif()
