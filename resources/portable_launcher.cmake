# The embedding step: qvn_pack launcher packs a game folder at build time
# and writes it, with its digest, icon and version information, into a copy
# of the launcher stub. The same command serves studios on any build host;
# there is no compile or link step per game.

if(CMAKE_CROSSCOMPILING)
  # The packer runs on the build host, so a cross tree builds it natively
  # from this same source tree, tools only, as one step of its own build.
  # It lands beside the stub, where it looks for it by default.
  include(ExternalProject)
  set(hostToolsDir ${CMAKE_BINARY_DIR}/host-tools)
  set(QVN_PACK ${CMAKE_BINARY_DIR}/bin/qvn_pack CACHE INTERNAL "")
  ExternalProject_Add(qvn_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${hostToolsDir}
    PREFIX ${hostToolsDir}/external
    CMAKE_ARGS -DQVN_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${CMAKE_BINARY_DIR}/bin
      -DQVN_WARNINGS_AS_ERRORS=${QVN_WARNINGS_AS_ERRORS}
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvn_pack
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${QVN_PACK}
    INSTALL_COMMAND ""
    TEST_COMMAND "")
  set(QVN_PACK_DEPENDS qvn_host_tools ${QVN_PACK} CACHE INTERNAL "")
  install(PROGRAMS ${QVN_PACK} DESTINATION bin)
else()
  set(QVN_PACK $<TARGET_FILE:qvn_pack> CACHE INTERNAL "")
  set(QVN_PACK_DEPENDS qvn_pack CACHE INTERNAL "")
endif()

# qvn_add_portable_launcher, as installed with the package, here with the
# packer and the stub this tree builds.
set(QuorvanePortable_PACK ${QVN_PACK} CACHE INTERNAL "")
set(QuorvanePortable_STUB $<TARGET_FILE:qvn_portable_launcher_stub> CACHE INTERNAL "")
set(QuorvanePortable_TOOL_DEPENDS qvn_portable_launcher_stub ${QVN_PACK_DEPENDS} CACHE INTERNAL "")
include(${PROJECT_SOURCE_DIR}/cmake/QuorvanePortableLauncher.cmake)
