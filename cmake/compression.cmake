# The libraries the command line reads compressed inputs with: zlib for gzip
# and libzstd for zstd. The Python module never links them.
#
# ONDRAVANE_COMPRESSION_PREFIX names a folder with include/ and lib/ holding
# static builds of both for the target (scripts/build-wheels makes them for
# each wheel); without it, a build for this machine takes the system's
# (Debian: zlib1g-dev, libzstd-dev), and a cross build takes none. A library
# that is not found leaves its format out: the command then says that this
# build cannot read it.
set(ONDRAVANE_COMPRESSION_PREFIX "" CACHE PATH "Folder with include/ and lib/ of static zlib and libzstd")

function(ondravane_find_compression_library variable header static_name name)
  if(ONDRAVANE_COMPRESSION_PREFIX)
    set(where PATHS "${ONDRAVANE_COMPRESSION_PREFIX}" NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    find_path(${variable}_INCLUDE_DIR ${header} PATH_SUFFIXES include ${where})
    find_library(${variable}_LIBRARY NAMES ${static_name} PATH_SUFFIXES lib ${where})
  elseif(NOT CMAKE_CROSSCOMPILING)
    find_path(${variable}_INCLUDE_DIR ${header})
    find_library(${variable}_LIBRARY NAMES ${name})
  endif()
  if(${variable}_INCLUDE_DIR AND ${variable}_LIBRARY)
    set(${variable}_FOUND TRUE PARENT_SCOPE)
  else()
    set(${variable}_FOUND FALSE PARENT_SCOPE)
  endif()
endfunction()

ondravane_find_compression_library(ONDRAVANE_ZLIB zlib.h libz.a z)
ondravane_find_compression_library(ONDRAVANE_ZSTD zstd.h libzstd.a zstd)
message(STATUS "Compressed input of the command line: gzip ${ONDRAVANE_ZLIB_FOUND} (zlib), zstd ${ONDRAVANE_ZSTD_FOUND} (libzstd)")

# Adds what was found to the command line's target.
function(ondravane_link_compression target)
  if(ONDRAVANE_ZLIB_FOUND)
    target_sources(${target} PRIVATE decompression/gzip_decoder.cc)
    target_include_directories(${target} SYSTEM PRIVATE "${ONDRAVANE_ZLIB_INCLUDE_DIR}")
    target_link_libraries(${target} PRIVATE "${ONDRAVANE_ZLIB_LIBRARY}")
    target_compile_definitions(${target} PRIVATE ONDRAVANE_WITH_ZLIB)
  endif()
  if(ONDRAVANE_ZSTD_FOUND)
    target_sources(${target} PRIVATE decompression/zstd_decoder.cc)
    target_include_directories(${target} SYSTEM PRIVATE "${ONDRAVANE_ZSTD_INCLUDE_DIR}")
    target_link_libraries(${target} PRIVATE "${ONDRAVANE_ZSTD_LIBRARY}")
    target_compile_definitions(${target} PRIVATE ONDRAVANE_WITH_ZSTD)
  endif()
endfunction()
