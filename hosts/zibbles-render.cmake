# zibbles-render: the headless host; runs the saver and writes its frames as PNG files.
add_executable(zibbles-render
  ${CMAKE_CURRENT_LIST_DIR}/RenderMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RenderPacing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ContactSheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostEnvironment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StatusReporter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VersionText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectChain.cpp)
target_include_directories(zibbles-render PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zibbles-render PRIVATE zibbles_module zibbles_platform zibbles_decode)
