# SPDX-License-Identifier: GPL-3.0-or-later
# corvane_add_test(NAME LABELS unit|integration|e2e SOURCES ... [LIBS ...] [TIMEOUT s])
# One GoogleTest executable per area, registered with ctest under its label.
function(corvane_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "LABELS;SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${name} ${T_SOURCES})
  corvane_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;CORVANE_BUILD_BIN=${CMAKE_BINARY_DIR}/bin;CORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
