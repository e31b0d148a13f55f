# The status lines are the hosts' own, tested from the hosts' source; the test also runs the
# headless host against a closed port.
if(TARGET StatusLinesTest)
  target_sources(StatusLinesTest PRIVATE ${PROJECT_SOURCE_DIR}/hosts/StatusReporter.cpp
                                         ${PROJECT_SOURCE_DIR}/hosts/HostEnvironment.cpp)
  if(TARGET zibbles-render)
    add_dependencies(StatusLinesTest zibbles-render)
  endif()
endif()
