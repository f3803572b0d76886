# The Windows resources and the Win32 settings dialog view; the files the
# build embedded are compared through Wine's Z: drive.
vantor_add_test(win32_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialog_test.cpp
  LIBS vantor_win32_dialog vantor_resources vantor_main_dlg vantor_base
  LABELS window)
target_compile_definitions(win32_dialog_test PRIVATE
  VANTOR_HOST_ARCHIVE="Z:${VANTOR_ARCHIVE_ZIP}"
  VANTOR_HOST_RESOURCES="Z:${VANTOR_RESOURCE_DIR}")
