# updlib_core: the error table, port error records, slot error lists and the trace.
add_library(updlib_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/error_registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_table.cpp
  ${CMAKE_CURRENT_LIST_DIR}/trace.cpp)
target_include_directories(updlib_core PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(updlib_core PUBLIC platform_os)
