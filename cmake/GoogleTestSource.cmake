# GoogleTest and GoogleMock compiled from Debian's googletest package (/usr/src/googletest), under
# the names its installed package gives them, for a build that cannot link the host's libraries.
set(ORVAN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${ORVAN_GOOGLETEST_SOURCE}/googletest/src/gtest-all.cc")
  message(FATAL_ERROR "GoogleTest source not found in ${ORVAN_GOOGLETEST_SOURCE}: run scripts/setup")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory("${ORVAN_GOOGLETEST_SOURCE}" "${CMAKE_BINARY_DIR}/deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main gmock gmock_main)
  target_compile_options(${lib} PRIVATE -w)
  if(NOT TARGET GTest::${lib})  # gmock's CMake names its own
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
