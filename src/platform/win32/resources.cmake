# The Windows resources (vantor.rc: dialog template 102, the archive as
# RCDATA 144, bitmap 146, the icon, string 1, version) with their lookup
# (vantor_resources), and configure mode's dialog over them
# (vantor_win32_dialog).
#
# The archive and pictures come from the host build (VANTOR_ARCHIVE_ZIP,
# VANTOR_RESOURCE_DIR). windres compiles the script to one object file,
# which goes onto the link line of every executable that links
# vantor_resources: inside a static library nothing would refer to it and
# the linker would leave the resources out.

if(CMAKE_RC_COMPILER)
  set(VANTOR_WINDRES ${CMAKE_RC_COMPILER})
else()
  find_program(VANTOR_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
endif()

set(VANTOR_RC_ARCHIVE_FILE ${VANTOR_ARCHIVE_ZIP})
set(VANTOR_RC_PREVIEW_FILE ${VANTOR_RESOURCE_DIR}/preview.bmp)
set(VANTOR_RC_ICON_FILE ${VANTOR_RESOURCE_DIR}/icon.ico)
set(_rc_dir ${CMAKE_CURRENT_BINARY_DIR}/rc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/vantor_rc_files.h.in ${_rc_dir}/vantor_rc_files.h @ONLY)

set(_rc_object ${_rc_dir}/vantor_rc.o)
add_custom_command(OUTPUT ${_rc_object}
  COMMAND ${VANTOR_WINDRES} -O coff -I ${PROJECT_SOURCE_DIR}/src -I ${_rc_dir}
          -i ${CMAKE_CURRENT_LIST_DIR}/vantor.rc -o ${_rc_object}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/vantor.rc
          ${CMAKE_CURRENT_LIST_DIR}/resource_ids.h
          ${PROJECT_SOURCE_DIR}/src/settings/dialog102_ids.h
          ${_rc_dir}/vantor_rc_files.h
          ${VANTOR_RC_ARCHIVE_FILE} ${VANTOR_RC_PREVIEW_FILE} ${VANTOR_RC_ICON_FILE}
  COMMENT "Compiling the Windows resources")
add_custom_target(vantor_rc_object DEPENDS ${_rc_object})

add_library(vantor_resources STATIC ${CMAKE_CURRENT_LIST_DIR}/resources_win32.cpp)
target_include_directories(vantor_resources PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_resources PUBLIC vantor_platform_common INTERFACE ${_rc_object})
add_dependencies(vantor_resources vantor_rc_object)

# The settings dialog: its Win32 view and configure mode's runner.
add_library(vantor_win32_dialog STATIC
  ${CMAKE_CURRENT_LIST_DIR}/settings_view_win32.cpp
  ${PROJECT_SOURCE_DIR}/src/app/config_dialog.cpp
  ${PROJECT_SOURCE_DIR}/src/app/config_dialog_win32.cpp)
target_include_directories(vantor_win32_dialog PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_win32_dialog PUBLIC vantor_main_dlg vantor_display vantor_settings vantor_os
  comctl32 user32 gdi32)
