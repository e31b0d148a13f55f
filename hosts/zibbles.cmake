# zibbles: the desktop host (SDL2 window or full screen on every display).
if(TARGET zibbles_platform_desktop)
  add_executable(zibbles
    ${CMAKE_CURRENT_LIST_DIR}/DesktopMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopLoop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HostEnvironment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InspectChain.cpp)
  target_include_directories(zibbles PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(zibbles PRIVATE zibbles_module zibbles_platform_desktop zibbles_decode)
endif()
