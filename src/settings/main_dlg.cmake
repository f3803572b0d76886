# The settings dialog's logic over an abstract control surface; the GTK view
# lives in platform/gtk, the Win32 one in platform/win32.
add_library(vantor_main_dlg STATIC ${CMAKE_CURRENT_LIST_DIR}/main_dlg.cpp)
target_include_directories(vantor_main_dlg PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_main_dlg PUBLIC vantor_settings vantor_base)
