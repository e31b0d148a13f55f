# The X shared-memory target needs the desktop backends and a private X server (it starts Xvfb).
if(TARGET CompositorTargetX11ShmTest)
  if(TARGET zibbles_platform_desktop)
    target_link_libraries(CompositorTargetX11ShmTest PRIVATE zibbles_platform_desktop)
  endif()
endif()
