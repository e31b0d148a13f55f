# The demo chain itself: a real anvil node with the demo collection, on its own port.
add_test(NAME demo_chain COMMAND ${PROJECT_SOURCE_DIR}/demo/test-chain.sh)
set_tests_properties(demo_chain PROPERTIES LABELS "e2e" TIMEOUT 300)
