# zibbles --idle, the resident launcher: its choice of idle source and the saver's command line
# from the hosts' sources, then one script per real session (headless mutter on its own session
# bus, headless sway, Xvfb without and with the daemon).
if(TARGET IdleLauncherTest)
  target_sources(IdleLauncherTest PRIVATE ${PROJECT_SOURCE_DIR}/hosts/saver/IdleSourceChoice.cpp
                                          ${PROJECT_SOURCE_DIR}/hosts/saver/SaverChild.cpp)
  target_include_directories(IdleLauncherTest PRIVATE ${PROJECT_SOURCE_DIR})
endif()
