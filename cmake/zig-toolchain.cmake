# Builds with the C++ compiler of the ziglang package (a clang that brings its
# own C++ runtime, linked statically, and links against the glibc version the
# target names), so that what it builds loads on older Linux distributions;
# its C compiler builds the libraries of compressed input the same way.
# scripts/build-wheels sets ONDRAVANE_ZIG_TARGET, for example
# x86_64-linux-gnu.2.28 or x86-linux-gnu.2.28, and ONDRAVANE_ZIG, the zig
# program of the ziglang package.
set(ONDRAVANE_ZIG_TARGET "$ENV{ONDRAVANE_ZIG_TARGET}")
if(ONDRAVANE_ZIG_TARGET MATCHES "^x86_64-linux-gnu")
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
elseif(ONDRAVANE_ZIG_TARGET MATCHES "^x86-linux-gnu")
  set(CMAKE_SYSTEM_PROCESSOR i686)
else()
  message(FATAL_ERROR "ONDRAVANE_ZIG_TARGET is '${ONDRAVANE_ZIG_TARGET}': expected x86_64-linux-gnu.<glibc> or x86-linux-gnu.<glibc>")
endif()
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_CXX_COMPILER "${CMAKE_CURRENT_LIST_DIR}/../scripts/zig/c++")
set(CMAKE_C_COMPILER "${CMAKE_CURRENT_LIST_DIR}/../scripts/zig/cc")
set(CMAKE_AR "${CMAKE_CURRENT_LIST_DIR}/../scripts/zig/ar" CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB "${CMAKE_CURRENT_LIST_DIR}/../scripts/zig/ranlib" CACHE FILEPATH "" FORCE)
