# Our own code builds without a single warning. Making warnings fatal is for
# our own and CI builds only: someone building the package with a newer
# compiler must not be stopped by a warning it has learnt since.
option(VX_WERROR "Treat compiler warnings in our own code as errors" OFF)

function(vx_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${VX_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${VX_WERROR}>:-Werror>)
  endif()
  # GCC 12 at -O3 reports overlapping copies inside std::string's own
  # concatenation that cannot happen (GCC bug 105329, fixed in 13). It stays a
  # warning to read, but cannot stop the Release build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-error=restrict)
  endif()
endfunction()
