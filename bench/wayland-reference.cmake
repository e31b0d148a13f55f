# The floor that bench/wayland-cpu.sh measures the saver against: a frame-paced wl_shm client
# doing the least.
if(TARGET zibbles_wayland_protocols)
  add_executable(WaylandReference ${CMAKE_CURRENT_LIST_DIR}/WaylandReference.cpp)
  target_include_directories(WaylandReference PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(WaylandReference PRIVATE zibbles_wayland_protocols)
endif()
