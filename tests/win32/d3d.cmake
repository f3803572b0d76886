# The system's Direct3D 8 and DirectSound under the engine's platform calls,
# and the still renderer on them (all under Wine).
vantor_add_test(vantor_win32_d3d_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/d3d_sound_test.cpp
  LIBS vantor_d3d8_extras vantor_sound vantor_archive PkgConfig::MINIZIP)

if(TARGET vantor-render)
  add_test(NAME win32.render.cli
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/render_cli_wine.sh ${PROJECT_SOURCE_DIR}/scripts/wine-run
                   $<TARGET_FILE:vantor-render>)
  set_tests_properties(win32.render.cli PROPERTIES TIMEOUT 300 LABELS wine)
  # Our runtime's picture against Wine's, when the Linux build beside this
  # one has its renderer (scripts/frame-check; skipped otherwise).
  if(VANTOR_HOST_BUILD)
    add_test(NAME win32.render.frame_check
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/frame-check -o ${PROJECT_BINARY_DIR}/frame-check
                     ${VANTOR_HOST_BUILD} ${PROJECT_BINARY_DIR})
    set_tests_properties(win32.render.frame_check PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77 LABELS wine
                         RUN_SERIAL TRUE)
  endif()
endif()
