# InspectTest runs the zibbles-inspect program, so it must be built first.
if(TARGET InspectTest AND TARGET zibbles-inspect)
  add_dependencies(InspectTest zibbles-inspect)
endif()
