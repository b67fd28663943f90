# libdivsufsort for the Windows builder and the 32-bit Linux build's tests, compiled from Debian's
# source package (scripts/fetch-divsufsort-source) as zstd is: its 32-bit library and, from the same
# sources, the 64-bit one (saidx64_t) for old files past 2 GiB. Headers are made here as its own
# CMake makes them.

set(ORVAN_DIVSUFSORT_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/divsufsort" CACHE PATH "libdivsufsort source tree")
if(NOT EXISTS "${ORVAN_DIVSUFSORT_SOURCE}/lib/divsufsort.c")
  message(FATAL_ERROR "libdivsufsort source not found in ${ORVAN_DIVSUFSORT_SOURCE}: run scripts/setup")
endif()

set(divsufsort_include "${CMAKE_BINARY_DIR}/deps/divsufsort/include")
file(READ "${ORVAN_DIVSUFSORT_SOURCE}/VERSION" PROJECT_VERSION_FULL)
string(STRIP "${PROJECT_VERSION_FULL}" PROJECT_VERSION_FULL)
# What divsufsort's own checks find on MinGW-w64 and on glibc.
foreach(header INTTYPES_H STDDEF_H STDINT_H STDLIB_H STRING_H STRINGS_H MEMORY_H SYS_TYPES_H)
  set(HAVE_${header} 1)
endforeach()
set(INLINE inline)
set(INCFILE "#include <inttypes.h>")
set(SAUCHAR_TYPE uint8_t)
set(SAINT32_TYPE int32_t)
set(SAINT32_PRId PRId32)
set(SAINT64_TYPE int64_t)
set(SAINT64_PRId PRId64)
set(SAINT_PRId PRId32)
set(DIVSUFSORT_IMPORT "")
set(DIVSUFSORT_EXPORT "")
configure_file("${ORVAN_DIVSUFSORT_SOURCE}/include/config.h.cmake" "${divsufsort_include}/config.h")
set(W64BIT "")
set(SAINDEX_TYPE int32_t)
set(SAINDEX_PRId PRId32)
configure_file("${ORVAN_DIVSUFSORT_SOURCE}/include/divsufsort.h.cmake" "${divsufsort_include}/divsufsort.h" @ONLY)
set(W64BIT "64")
set(SAINDEX_TYPE int64_t)
set(SAINDEX_PRId PRId64)
configure_file("${ORVAN_DIVSUFSORT_SOURCE}/include/divsufsort.h.cmake" "${divsufsort_include}/divsufsort64.h" @ONLY)

set(divsufsort_sources divsufsort.c sssort.c trsort.c utils.c)
list(TRANSFORM divsufsort_sources PREPEND "${ORVAN_DIVSUFSORT_SOURCE}/lib/")
foreach(width 32 64)
  add_library(orvan_divsufsort${width} STATIC ${divsufsort_sources})
  target_include_directories(orvan_divsufsort${width} SYSTEM PUBLIC "${divsufsort_include}"
                             PRIVATE "${ORVAN_DIVSUFSORT_SOURCE}/include")
  target_compile_definitions(orvan_divsufsort${width} PRIVATE HAVE_CONFIG_H=1)
  target_compile_options(orvan_divsufsort${width} PRIVATE -O2 -fomit-frame-pointer -w)
endforeach()
target_compile_definitions(orvan_divsufsort64 PRIVATE BUILD_DIVSUFSORT64)
add_library(orvan_divsufsort INTERFACE)
target_link_libraries(orvan_divsufsort INTERFACE orvan_divsufsort32 orvan_divsufsort64)
