# The embedding step: packs a game folder with qvn_pack at build time and
# links a launcher that carries the payload as RT_RCDATA 101 and its SHA-256
# as 102 (qvn_add_launcher_executable).

if(CMAKE_CROSSCOMPILING)
  # The packer runs on the build host, so a cross tree builds it natively
  # from this same source tree, tools only, as one step of its own build.
  include(ExternalProject)
  set(hostToolsDir ${CMAKE_BINARY_DIR}/host-tools)
  set(QVN_PACK ${hostToolsDir}/bin/qvn_pack CACHE INTERNAL "")
  ExternalProject_Add(qvn_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${hostToolsDir}
    PREFIX ${hostToolsDir}/external
    CMAKE_ARGS -DQVN_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvn_pack
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${QVN_PACK}
    INSTALL_COMMAND ""
    TEST_COMMAND "")
  set(QVN_PACK_DEPENDS qvn_host_tools ${QVN_PACK} CACHE INTERNAL "")
else()
  set(QVN_PACK $<TARGET_FILE:qvn_pack> CACHE INTERNAL "")
  set(QVN_PACK_DEPENDS qvn_pack CACHE INTERNAL "")
endif()

# qvn_add_portable_launcher(<name> GAME_DIR <dir> [GAME_FILES <files>] [DEPENDS <targets>])
#
# Packs <dir> into <name>.payload and <name>.payload.digest in the current
# binary folder and links the launcher <name> with them. Packing runs again
# when a file of the folder changes or the packer does. The folder's files
# are found when CMake runs, and looked for again at each build so that
# added and removed files are seen; a folder that the build itself fills
# lists its files in GAME_FILES instead. DEPENDS names targets that must be
# built before packing.
function(qvn_add_portable_launcher NAME)
  cmake_parse_arguments(ARG "" "GAME_DIR" "GAME_FILES;DEPENDS" ${ARGN})
  if(NOT ARG_GAME_DIR)
    message(FATAL_ERROR "qvn_add_portable_launcher(${NAME}): GAME_DIR is required")
  endif()
  get_filename_component(gameDir "${ARG_GAME_DIR}" ABSOLUTE)
  if(ARG_GAME_FILES)
    set(gameFiles ${ARG_GAME_FILES})
  else()
    file(GLOB_RECURSE gameFiles LIST_DIRECTORIES false CONFIGURE_DEPENDS "${gameDir}/*")
  endif()

  set(payload ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.payload)
  set(digest ${payload}.digest)
  add_custom_command(OUTPUT ${payload} ${digest}
    COMMAND ${QVN_PACK} build --game-dir ${gameDir} --out ${payload} --digest-out ${digest}
    DEPENDS ${gameFiles} ${QVN_PACK_DEPENDS} ${ARG_DEPENDS}
    COMMENT "Packing ${gameDir} for ${NAME}"
    VERBATIM)
  add_custom_target(${NAME}_payload DEPENDS ${payload} ${digest})
  qvn_add_launcher_executable(${NAME} PAYLOAD ${payload} DIGEST ${digest} DEPENDS ${NAME}_payload)
endfunction()
