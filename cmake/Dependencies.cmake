# zstd, liblzma and xxhash for every build; libdivsufsort for the builder's; GoogleTest for the
# native one. The MinGW builds compile zstd, liblzma and libdivsufsort from Debian's source packages
# (scripts/fetch-zstd-source, scripts/fetch-xz-source, scripts/fetch-divsufsort-source) and use
# xxhash header-only, so no library binary comes from anywhere else. The 32-bit Linux build
# (ORVAN_DEPS_FROM_SOURCE) does the same, and compiles GoogleTest from Debian's googletest sources:
# the host's libraries are 64-bit.

option(ORVAN_DEPS_FROM_SOURCE "Compile zstd, liblzma, libdivsufsort and GoogleTest from Debian's sources" OFF)
if(CMAKE_CROSSCOMPILING OR ORVAN_DEPS_FROM_SOURCE)
  set(ORVAN_ZSTD_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/zstd" CACHE PATH "zstd source tree")
  if(NOT EXISTS "${ORVAN_ZSTD_SOURCE}/lib/zstd.h")
    message(FATAL_ERROR "zstd source not found in ${ORVAN_ZSTD_SOURCE}: run scripts/setup")
  endif()
  file(GLOB zstd_sources
    "${ORVAN_ZSTD_SOURCE}/lib/common/*.c"
    "${ORVAN_ZSTD_SOURCE}/lib/compress/*.c"
    "${ORVAN_ZSTD_SOURCE}/lib/decompress/*.c")
  add_library(orvan_zstd STATIC ${zstd_sources})
  target_include_directories(orvan_zstd SYSTEM PUBLIC "${ORVAN_ZSTD_SOURCE}/lib")
  # With threads, as Debian's own library: zstd's output with workers differs from its output
  # without, and the Windows builder must write the payload bytes the Linux one does.
  target_compile_definitions(orvan_zstd PRIVATE ZSTD_DISABLE_ASM XXH_NAMESPACE=ZSTD_ ZSTD_MULTITHREAD)
  target_compile_options(orvan_zstd PRIVATE -O2 -w)
  include(${CMAKE_CURRENT_LIST_DIR}/Lzma.cmake)

  # Debian's xxhash header, copied so that no other system header enters the MinGW include path.
  set(xxhash_dir "${CMAKE_BINARY_DIR}/deps/xxhash")
  file(COPY /usr/include/xxhash.h DESTINATION "${xxhash_dir}")
  add_library(orvan_xxhash INTERFACE)
  target_include_directories(orvan_xxhash SYSTEM INTERFACE "${xxhash_dir}")

  if(ORVAN_BUILDER)
    include(${CMAKE_CURRENT_LIST_DIR}/DivSufSort.cmake)
  endif()
  if(ORVAN_TESTS AND NOT CMAKE_CROSSCOMPILING)
    include(${CMAKE_CURRENT_LIST_DIR}/GoogleTestSource.cmake)
  endif()
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
  add_library(orvan_zstd INTERFACE)
  target_link_libraries(orvan_zstd INTERFACE PkgConfig::ZSTD)
  pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
  add_library(orvan_lzma INTERFACE)
  target_link_libraries(orvan_lzma INTERFACE PkgConfig::LZMA)

  find_path(XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
  add_library(orvan_xxhash INTERFACE)
  target_include_directories(orvan_xxhash SYSTEM INTERFACE "${XXHASH_INCLUDE_DIR}")

  find_path(DIVSUFSORT_INCLUDE_DIR divsufsort.h REQUIRED)
  find_library(DIVSUFSORT_LIBRARY divsufsort REQUIRED)
  find_library(DIVSUFSORT64_LIBRARY divsufsort64 REQUIRED)
  add_library(orvan_divsufsort INTERFACE)
  target_include_directories(orvan_divsufsort SYSTEM INTERFACE "${DIVSUFSORT_INCLUDE_DIR}")
  target_link_libraries(orvan_divsufsort INTERFACE ${DIVSUFSORT_LIBRARY} ${DIVSUFSORT64_LIBRARY})

  if(ORVAN_TESTS)
    find_package(GTest REQUIRED)
  endif()
endif()
target_compile_definitions(orvan_xxhash INTERFACE XXH_INLINE_ALL)
