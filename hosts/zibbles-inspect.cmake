# zibbles-inspect: decode one token (or a file of them, or tokens asked of a chain) and say what
# it holds or why it fails.
add_executable(zibbles-inspect
  ${CMAKE_CURRENT_LIST_DIR}/InspectMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectChain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectJson.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectRender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectBatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectLineReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectOutput.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectTokenIds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectChainClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectTokenReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectSurvey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectInterrupt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectAsk.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InspectAskRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ContactSheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VersionText.cpp)
target_include_directories(zibbles-inspect PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zibbles-inspect PRIVATE zibbles_module zibbles_platform zibbles_decode)
