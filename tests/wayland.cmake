# The desktop host as a native Wayland client, on a private headless sway (skipped, with the
# missing package named, only where sway cannot start).
if(TARGET zibbles)
  if(TARGET zibbles-render)
    add_test(NAME WaylandDesktop
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/wayland-e2e.sh $<TARGET_FILE:zibbles>
                     $<TARGET_FILE:zibbles-render>)
    set_tests_properties(WaylandDesktop PROPERTIES LABELS "desktop;e2e;wayland" TIMEOUT 180
                                                   SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
  endif()
endif()

# Which input ends the saver is tested from the host's source.
if(TARGET WaylandQuitRulesTest)
  target_sources(WaylandQuitRulesTest PRIVATE ${PROJECT_SOURCE_DIR}/hosts/saver/WaylandQuitRules.cpp)
  target_include_directories(WaylandQuitRulesTest PRIVATE ${PROJECT_SOURCE_DIR})
endif()
