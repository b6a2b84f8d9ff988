# Compiler warnings for this project's own code, in every tree. Included
# after GoogleTest is added, so that its sources keep their own flags; its
# headers and the system's are SYSTEM, so their warnings stay silent.
#
# QVN_WARNINGS_AS_ERRORS turns them into errors. CI sets it (scripts/build.sh
# and scripts/fuzz.sh pass it on from the environment); it is off by default
# so that a studio's build, with another compiler version, never fails on a
# warning that only a newer compiler finds.
option(QVN_WARNINGS_AS_ERRORS "Fail the build on a compiler warning in this project's code" OFF)

# -Wsign-conversion: clang's -Wconversion holds it, so gcc gets it too and
# both trees and the fuzz tree warn alike. -Wmissing-declarations is left
# out: what it finds here are entry points that Windows looks up by name
# (wmain, DllMain, a DLL's export), which no header declares.
set(qvnWarnings -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual -Wformat=2 -Wundef)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # gcc 12 at -O2 and above reports an overlapping memcpy inside libstdc++
  # for "text" + std::string (gcc bug 105329), where there is none.
  list(APPEND qvnWarnings -Wno-restrict)
endif()
if(QVN_WARNINGS_AS_ERRORS)
  list(APPEND qvnWarnings -Werror)
endif()
# Only the compilers' flags: windres takes the same options but not these.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${qvnWarnings}>")
