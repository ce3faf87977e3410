# vq_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s])
# One GoogleTest executable; each of its cases becomes a CTest test. Every case, and the listing
# of the cases at build time, runs with the Qt offscreen platform and knows the source and build
# trees through VQ_SOURCE_DIR and VQ_BINARY_DIR (environment variables, and the same values as
# compile definitions for tests run by hand).
function(vq_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  if(NOT T_LABELS)
    set(T_LABELS ${T_NAME})
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    VQ_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VQ_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # gtest_discover_tests splits a list-valued ENVIRONMENT property, so the variables travel on the
  # command line instead: the test runs under `cmake -E env`.
  set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR
    "${CMAKE_COMMAND};-E;env;QT_QPA_PLATFORM=offscreen;VQ_SOURCE_DIR=${PROJECT_SOURCE_DIR};VQ_BINARY_DIR=${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()
