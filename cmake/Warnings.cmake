# The warnings every target of ours is built with. Included by the top-level
# CMakeLists.txt after third-party code has been added and before our own
# folders, so that each target created below gets them as a directory
# property: a new target has them without asking.
#
# Our own code builds without a single warning. Making warnings fatal is for
# our own and CI builds only (the CMake presets): someone building the
# package with a newer compiler must not be stopped by a warning it has
# learnt since.
option(VX_WERROR "Treat compiler warnings in our own code as errors" OFF)

if(MSVC)
  set(vx_warning_options /W4)
  set(vx_error_option /WX)
else()
  set(vx_warning_options -Wall -Wextra)
  set(vx_error_option -Werror)
endif()
if(VX_WERROR)
  list(APPEND vx_warning_options ${vx_error_option})
endif()
# GCC 12 reports overlapping copies inside std::string's own concatenation
# that cannot happen (GCC bug 105329, fixed in 13), mostly at -O3. Our code is
# written plainly and the older compiler is told not to look; clang and newer
# GCC keep the check.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND vx_warning_options -Wno-restrict)
endif()
# C++ only: the Windows resource compiler shares the targets and knows none
# of these.
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:${vx_warning_options}>")
