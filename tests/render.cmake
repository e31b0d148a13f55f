# The golden-frame test runs the headless host, so the host must be built first.
if(TARGET RenderGoldenTest AND TARGET zibbles-render)
  add_dependencies(RenderGoldenTest zibbles-render)
endif()
if(TARGET InspectRenderTest AND TARGET zibbles-inspect)
  add_dependencies(InspectRenderTest zibbles-inspect)
endif()
