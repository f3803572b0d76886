# The positional sound system over DirectSound: WAV parsing, samples shared
# between voices, and the flat Sound* functions the rest of the program calls.
add_library(vantor_sound STATIC
  ${CMAKE_CURRENT_LIST_DIR}/sound_wave.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_sample.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sound_system.cpp)
target_include_directories(vantor_sound PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(vantor_sound PUBLIC vantor_archive vantor_dsound_headers)
# On Linux the DirectSound calls land in our own mixer over SDL audio.
if(TARGET vantor_dsound)
  target_link_libraries(vantor_sound PUBLIC vantor_dsound)
endif()
