# The session's protocol tests compress bodies with zlib and speak HTTP/2 to nghttpd (Debian's
# nghttp2-server); without nghttpd that one test says it skipped.
if(TARGET HttpSessionProtocolTest)
  find_package(ZLIB REQUIRED)
  find_package(CURL REQUIRED)
  find_program(ZIBBLES_NGHTTPD nghttpd PATHS /usr/sbin /usr/local/sbin)
  set(_zibbles_nghttpd "")
  if(ZIBBLES_NGHTTPD)
    set(_zibbles_nghttpd "${ZIBBLES_NGHTTPD}")
  endif()
  target_link_libraries(HttpSessionProtocolTest PRIVATE ZLIB::ZLIB CURL::libcurl)
  target_compile_definitions(HttpSessionProtocolTest PRIVATE ZIBBLES_NGHTTPD="${_zibbles_nghttpd}")
endif()
