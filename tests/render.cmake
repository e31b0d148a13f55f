# The golden-frame test runs the headless host, so the host must be built first.
if(TARGET RenderGoldenTest AND TARGET zibbles-render)
  add_dependencies(RenderGoldenTest zibbles-render)
endif()
if(TARGET InspectRenderTest AND TARGET zibbles-inspect)
  add_dependencies(InspectRenderTest zibbles-inspect)
endif()
# The headless host's pacing is tested on its own, from the host's source.
if(TARGET FramePacerTest)
  target_sources(FramePacerTest PRIVATE ${PROJECT_SOURCE_DIR}/hosts/render/RenderPacing.cpp)
  target_include_directories(FramePacerTest PRIVATE ${PROJECT_SOURCE_DIR})
endif()
