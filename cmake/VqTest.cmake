# vq_add_test(NAME name SOURCES a.cpp ... LIBS lib ...)
# One GoogleTest executable; each of its cases becomes a CTest test.
function(vq_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VQ_SOURCE_DIR=${PROJECT_SOURCE_DIR};VQ_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
