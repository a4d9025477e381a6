# Shared options for every target of ours: standard, warnings, sanitizers.
add_library(mervik_options INTERFACE)
target_compile_features(mervik_options INTERFACE cxx_std_20)
target_compile_options(mervik_options INTERFACE -Wall -Wextra -Wpedantic -Werror)
target_compile_definitions(mervik_options INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)

option(MERVIK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(MERVIK_SANITIZE)
  target_compile_options(mervik_options INTERFACE -fsanitize=address,undefined
                                                  -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(mervik_options INTERFACE -fsanitize=address,undefined)
endif()

# libFuzzer targets need clang; they are built only when asked for.
option(MERVIK_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(MERVIK_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "MERVIK_FUZZ needs clang++ (-DCMAKE_CXX_COMPILER=clang++)")
endif()
