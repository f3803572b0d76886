# What d3d8_vantor.h declares, over the system's Direct3D 8 (read-back of
# rendered pictures, the hidden window of off-screen devices).
add_library(vantor_d3d8_extras STATIC ${CMAKE_CURRENT_LIST_DIR}/d3d8_extras_win32.cpp)
target_link_libraries(vantor_d3d8_extras PUBLIC vantor_d3d8_headers)
