# GoogleTest: Debian's packaged build on Linux; built from Debian's source
# package (/usr/src/googletest) for the mingw-w64 cross build.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # googletest's own CMake defines the GTest:: aliases.
else()
  find_package(GTest REQUIRED)
endif()

# One CTest entry per test program: the Windows builds run under Wine, where
# listing every case up front would start Wine once per case.
function(orvamy_add_test name)
  add_executable(${name} ${ARGN})
  orvamy_target_defaults(${name})
  target_link_libraries(${name} PRIVATE GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
