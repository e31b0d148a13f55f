# The floor that bench/desktop-cpu.sh measures the hack against: a 60 Hz X client doing the least.
find_package(X11)
if(X11_FOUND)
  add_executable(ReferenceHack ${CMAKE_CURRENT_LIST_DIR}/ReferenceHack.cpp)
  target_link_libraries(ReferenceHack PRIVATE X11::X11)
endif()
