# Every target of the project calls orvamy_target_defaults() so warnings and
# sanitizers apply uniformly.
add_library(orvamy_warnings INTERFACE)
if(MSVC)
  # Sources are UTF-8 without a byte-order mark (the Chinese texts): say so.
  target_compile_options(orvamy_warnings INTERFACE /utf-8 /W4 /permissive- /Zc:__cplusplus)
  if(ORVAMY_WARNINGS_AS_ERRORS)
    target_compile_options(orvamy_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(orvamy_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    -Wno-sign-conversion -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
  # GCC 12 reports impossible overlaps inside libstdc++'s std::string at -O3
  # (GCC bug 105329), and, in the mingw-w64 build, impossible overflows in
  # std::vector<uint8_t>::insert after clear() (GCC bug 107852); neither says
  # anything about our code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(orvamy_warnings INTERFACE -Wno-restrict -Wno-stringop-overflow)
  endif()
  if(ORVAMY_WARNINGS_AS_ERRORS)
    target_compile_options(orvamy_warnings INTERFACE -Werror)
  endif()
endif()

function(orvamy_target_defaults target)
  target_link_libraries(${target} PRIVATE orvamy_warnings orvamy_sanitizers)
endfunction()
