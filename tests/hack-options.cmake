# The hack's pure choices (window id, preview rule, lenient options) are tested from the hosts'
# sources.
if(TARGET HackOptionsTest)
  target_sources(HackOptionsTest PRIVATE ${PROJECT_SOURCE_DIR}/hosts/saver/HackOptions.cpp)
  target_include_directories(HackOptionsTest PRIVATE ${PROJECT_SOURCE_DIR})
endif()
