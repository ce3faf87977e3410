# updlib: the library interface and update slots (callbacks, connect hook, slot data), the update
# procedure and the decoding of the phone's error reports.
add_library(updlib STATIC
  ${CMAKE_CURRENT_LIST_DIR}/libif.cpp
  ${CMAKE_CURRENT_LIST_DIR}/slots.cpp
  ${CMAKE_CURRENT_LIST_DIR}/callbacks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/swupwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wmob_err.cpp)
target_include_directories(updlib PUBLIC "${PROJECT_SOURCE_DIR}")
# xbi and updlib need each other: the file interface asks the library state, the procedure reads
# the software file.
target_link_libraries(updlib PUBLIC xbi updlib_core flashlink platform_os)
