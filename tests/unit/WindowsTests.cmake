# The suites of the Windows build: every *Test.cpp of the decoders, the module, the platform's top
# and its win32 backend, the common floor and the Windows saver, but those that need what only
# Linux has here (a loopback server, libcurl, another program of the Linux build). One ctest test
# per program, run under Wine by the toolchain's emulator: one Wine start a program, not a case.
file(GLOB_RECURSE ZIBBLES_TEST_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/decode/*Test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/module/*Test.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/platform/*Test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/hosts/common/*Test.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/hosts/scr/*Test.cpp)
foreach(source ${ZIBBLES_TEST_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  file(READ ${source} text)
  # Another system's backend is not built here.
  if((source MATCHES "/platform/[^/]+/" AND NOT source MATCHES "/platform/win32/") OR
     text MATCHES "support/LoopbackServer.h|support/HostileServer.h|platform/curl/|ZIBBLES_BINARY_DIR|sys/wait.h")
    continue()
  endif()
  add_executable(${name} ${source})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main zibbles_decode
                                        zibbles_module zibbles_platform zibbles_url_session
                                        zibbles_host_common zibbles_scr)
  target_compile_definitions(${name} PRIVATE ZIBBLES_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  # A suite that needs the Linux build's loopback servers runs from its script instead.
  if(text MATCHES "ZIBBLES_LOOPBACK")
    continue()
  endif()
  add_test(NAME ${name} COMMAND ${name})
  # Wine's own status is 0 even when it could not start a program: the suite's words decide.
  # One at a time with the others in the prefix: a test that changes its DPI restarts its server,
  # which ends every program running there.
  set_tests_properties(${name} PROPERTIES LABELS "windows;${name}" TIMEOUT 120
                                          FIXTURES_REQUIRED wine RESOURCE_LOCK wine-prefix
                                          PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
                                          FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
endforeach()
