# The inspector and the saver behind a real front end (nginx, tests/front-lib.sh) that limits how
# fast a client may ask, on the chain node of the end-to-end tests. Exit 77 (skipped) when the
# chain's tools or nginx are missing.
if(TARGET zibbles-render AND TARGET zibbles-inspect)
  add_test(NAME e2e-endpoint-limits
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/e2e-endpoint-limits.sh $<TARGET_FILE:zibbles-render>
                   $<TARGET_FILE:zibbles-inspect>)
  set_tests_properties(e2e-endpoint-limits PROPERTIES LABELS "e2e" TIMEOUT 120 SKIP_RETURN_CODE 77
                                                      FIXTURES_REQUIRED zibbles_chain_ready)
endif()
