# Libraries of the Windows build: zlib from MinGW's own folder
# (libz-mingw-w64-dev), minizip, libpng and libjpeg-turbo from the prefix that
# scripts/windows-deps fills (VANTOR_WINDOWS_DEPS), GoogleTest compiled from
# Debian's sources. All static, under the target names the Linux build uses.
set(VANTOR_WINDOWS_DEPS "" CACHE PATH "Prefix with minizip, libpng and libjpeg built for MinGW")
set(VANTOR_HOST_BUILD "" CACHE PATH "Linux build folder whose baked archive and pictures are embedded")
if(NOT VANTOR_WINDOWS_DEPS OR NOT EXISTS ${VANTOR_WINDOWS_DEPS}/lib/libminizip.a)
  message(FATAL_ERROR "VANTOR_WINDOWS_DEPS must name the prefix scripts/windows-deps made (build with scripts/build-windows)")
endif()
find_package(Threads REQUIRED)
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run)

set(_mingw_root /usr/${VANTOR_MINGW_TRIPLE})
function(vantor_static_import target library)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${library}
    INTERFACE_INCLUDE_DIRECTORIES "${ARGN}")
endfunction()

vantor_static_import(ZLIB::ZLIB ${_mingw_root}/lib/libz.a ${_mingw_root}/include)
vantor_static_import(PkgConfig::MINIZIP ${VANTOR_WINDOWS_DEPS}/lib/libminizip.a
  ${VANTOR_WINDOWS_DEPS}/include/minizip)
set_property(TARGET PkgConfig::MINIZIP PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
vantor_static_import(PNG::PNG ${VANTOR_WINDOWS_DEPS}/lib/libpng16.a ${VANTOR_WINDOWS_DEPS}/include)
set_property(TARGET PNG::PNG PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
vantor_static_import(JPEG::JPEG ${VANTOR_WINDOWS_DEPS}/lib/libjpeg.a ${VANTOR_WINDOWS_DEPS}/include)
set(PNG_FOUND TRUE)
set(JPEG_FOUND TRUE)

# The host build's archive and pictures, embedded by the resource script.
if(VANTOR_HOST_BUILD)
  set(VANTOR_ARCHIVE_ZIP ${VANTOR_HOST_BUILD}/archive.zip CACHE INTERNAL "")
  set(VANTOR_RESOURCE_DIR ${VANTOR_HOST_BUILD}/resources CACHE INTERNAL "")
endif()

if(VANTOR_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(t gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${t})
      add_library(GTest::${t} ALIAS ${t})
    endif()
  endforeach()
endif()
