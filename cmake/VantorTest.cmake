# vantor_add_test(<name> SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable per subsystem; every TEST becomes a ctest case.
function(vantor_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VANTOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VANTOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
endfunction()
