# End to end on the real local chain: each script starts its own anvil node on a free port with
# its own state folder, runs the hosts against it and stops the node again. Exit 77 means the
# chain's tools (node, npm) are missing, which ctest reports as skipped.
if(TARGET zibbles-render AND TARGET zibbles-inspect)
  set(ZIBBLES_E2E_PROGRAMS $<TARGET_FILE:zibbles-render> $<TARGET_FILE:zibbles-inspect>)
  # Installing the npm packages and compiling the contract happen once, before the others run.
  add_test(NAME e2e-chain-ready
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e-chain-ready.sh ${ZIBBLES_E2E_PROGRAMS})
  set_tests_properties(e2e-chain-ready PROPERTIES LABELS "e2e" TIMEOUT 300 SKIP_RETURN_CODE 77
                                                  FIXTURES_SETUP zibbles_chain_ready)
  foreach(script e2e-render e2e-inspect-batch e2e-inspect-chain e2e-chain-outage)
    add_test(NAME ${script} COMMAND ${CMAKE_CURRENT_LIST_DIR}/${script}.sh ${ZIBBLES_E2E_PROGRAMS})
    set_tests_properties(${script} PROPERTIES LABELS "e2e" TIMEOUT 120 SKIP_RETURN_CODE 77
                                              FIXTURES_REQUIRED zibbles_chain_ready)
  endforeach()
  # The demo chain's own self-check installs and compiles into the same folder.
  if(TEST demo_chain)
    set_tests_properties(demo_chain PROPERTIES FIXTURES_REQUIRED zibbles_chain_ready)
  endif()
endif()

# The contact sheet is drawn by the common floor; its test, like the golden-frame test, has the
# hosts that the scripts above run built first.
if(TARGET ContactSheetTest)
  target_include_directories(ContactSheetTest PRIVATE ${PROJECT_SOURCE_DIR})
  if(TARGET zibbles-render AND TARGET zibbles-inspect)
    add_dependencies(ContactSheetTest zibbles-render zibbles-inspect)
  endif()
endif()
