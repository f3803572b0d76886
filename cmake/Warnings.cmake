# Compiler flags shared by every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(VANTOR_WERROR)
  add_compile_options(-Werror)
endif()
if(VANTOR_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
# ThreadSanitizer, for the suites whose threads share state (the mixer).
if(VANTOR_SANITIZE_THREAD)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
# GCC 12 (MinGW's) reports std::string's own inlined copies as overlapping
# under -Wrestrict (a known false positive of that release).
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-restrict)
endif()
