# Display modes, monitors and the picture window's rules (vantor_display),
# and configure mode's dialog runner (vantor_config_dialog).
add_library(vantor_display STATIC
  ${CMAKE_CURRENT_LIST_DIR}/display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/splash_wnd.cpp)
target_include_directories(vantor_display PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_display PUBLIC vantor_base)

if(TARGET vantor_gtk AND TARGET vantor_main_dlg)
  add_library(vantor_config_dialog STATIC ${CMAKE_CURRENT_LIST_DIR}/config_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/config_dialog_gtk.cpp)
  target_include_directories(vantor_config_dialog PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vantor_config_dialog PUBLIC vantor_display vantor_main_dlg vantor_gtk)
endif()
