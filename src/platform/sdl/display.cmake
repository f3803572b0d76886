# Display modes and screens on Linux: lists from SDL, the desktop mode switch
# through XRandR (SDL switches modes only for its own full-screen windows).
add_library(vantor_sdl_display STATIC ${CMAKE_CURRENT_LIST_DIR}/sdl_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mode_guard.cpp)
target_include_directories(vantor_sdl_display PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_sdl_display PUBLIC PkgConfig::SDL2)
if(TARGET X11::Xrandr)
  target_link_libraries(vantor_sdl_display PRIVATE X11::X11 X11::Xrandr)
  target_compile_definitions(vantor_sdl_display PRIVATE VANTOR_HAVE_XRANDR)
endif()
