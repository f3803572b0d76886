# The Win32 layer of the shell: registry store, mutex, picture checks and
# the window procedure, under Wine.
vantor_add_test(vantor_win32_shell_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell_test.cpp
  LIBS vantor_win32_os vantor_settings)
