# vantor_add_test(<name> SOURCES ... LIBS ... [LABELS ...] [ONE_PROCESS])
# One GoogleTest executable per subsystem; every TEST becomes a ctest case,
# except with ONE_PROCESS: there the whole suite is one ctest case, for suites
# whose cases share an expensive fixture that each process would build anew.
# Suites that run no GL and open no window: in the sanitizer build they are
# also checked for leaks (see scripts/test).
set(VANTOR_LEAK_CHECKED_SUITES
  vantor_base_tests vantor_settings_tests vantor_archive_tests vantor_app_tests vantor_model_tests
  vantor_canyon_tests vantor_creatures_tests vantor_sound_tests vantor_bake_tests dialog_test)

function(vantor_add_test name)
  cmake_parse_arguments(ARG "ONE_PROCESS" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VANTOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VANTOR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  set(labels ${ARG_LABELS})
  if(name IN_LIST VANTOR_LEAK_CHECKED_SUITES)
    list(APPEND labels leakcheck)
  endif()
  if(CMAKE_CROSSCOMPILING OR ARG_ONE_PROCESS)
    # One process (under Wine: one Wine start) for the whole suite.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}")
  endif()
endfunction()
