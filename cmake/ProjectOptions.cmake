# Compiler settings shared by every target of the project: warnings, -Werror and sanitizers.
add_library(formulist2_options INTERFACE)
target_compile_options(formulist2_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
# GCC 12 reports -Wrestrict and -Wmaybe-uninitialized false positives inside std::string code at -O2
# and above
# (fixed in GCC 13).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(formulist2_options INTERFACE -Wno-restrict -Wno-maybe-uninitialized)
endif()
if(FORMULIST2_WERROR)
  target_compile_options(formulist2_options INTERFACE -Werror)
endif()
if(FORMULIST2_SANITIZE)
  target_compile_options(formulist2_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                      -fno-sanitize-recover=undefined)
  target_link_options(formulist2_options INTERFACE -fsanitize=address,undefined)
endif()
