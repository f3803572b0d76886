# The pterodactyl actors, the shared model cache and the helicopter sound.
add_library(vantor_creatures STATIC
  ${CMAKE_CURRENT_LIST_DIR}/pterodactyl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/heli_sound.cpp)
target_include_directories(vantor_creatures PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_creatures PUBLIC vantor_model vantor_sound vantor_settings vantor_base)
