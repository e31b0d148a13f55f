# The status lines are the common floor's own; the test also runs the
# headless host against a closed port.
if(TARGET StatusLinesTest)
  if(TARGET zibbles-render)
    add_dependencies(StatusLinesTest zibbles-render)
  endif()
endif()
