# The Win32 implementation of the OS interface (windows, registry store,
# mutex, display modes, monitors, clocks, resources, passwords).
add_library(vantor_win32_os STATIC
  ${CMAKE_CURRENT_LIST_DIR}/bitmap_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/registry_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32_os.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32_window.cpp)
# ole32 and comctl32 serve the process entry (CoInitialize,
# InitCommonControlsEx), which links this library.
target_link_libraries(vantor_win32_os PUBLIC vantor_platform_common
  user32 gdi32 winmm advapi32 shell32 ole32 comctl32)
