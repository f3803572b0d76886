# The Win32 layer of the shell: registry store, mutex, bitmap resources and
# the window procedure, under Wine.
configure_file(${CMAKE_CURRENT_LIST_DIR}/shell_test.rc.in ${CMAKE_CURRENT_BINARY_DIR}/shell_test.rc @ONLY)
vantor_add_test(vantor_win32_shell_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp ${CMAKE_CURRENT_BINARY_DIR}/shell_test.rc
  LIBS vantor_win32_os vantor_settings)
