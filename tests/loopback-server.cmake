# Tests that include support/LoopbackServer.h talk to a real HTTP server on 127.0.0.1, built on
# cpp-httplib (a compiled library in Debian, so it must be linked).
pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
foreach(source ${ZIBBLES_TEST_SOURCES})
  file(READ ${source} _zibbles_test_text)
  string(FIND "${_zibbles_test_text}" "support/LoopbackServer.h" _zibbles_uses_server)
  get_filename_component(_zibbles_test_name ${source} NAME_WE)
  if(NOT _zibbles_uses_server EQUAL -1 AND TARGET ${_zibbles_test_name})
    target_link_libraries(${_zibbles_test_name} PRIVATE PkgConfig::CPP_HTTPLIB)
  endif()
endforeach()
