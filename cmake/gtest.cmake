# GoogleTest from the distribution's sources, built with whatever compiler
# this tree uses (the posix MinGW compiler for the Windows build).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
else()
  message(FATAL_ERROR "GoogleTest sources missing: run 'make deps'")
endif()
