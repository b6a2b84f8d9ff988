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

# qvn_add_portable_launcher(<name> GAME_DIR <dir> [ICON <ico>] [VERSION <v>]
#   [PRODUCT_NAME <text>] [COMPANY <text>] [DESCRIPTION <text>]
#   [COPYRIGHT <text>] [GAME_FILES <files>] [DEPENDS <targets>])
#
# Makes <name>.exe in the runtime output folder from the stub with
# `qvn_pack launcher`; the target's QVN_LAUNCHER_FILE property names it.
# It is made again when a file of the folder, the icon, the stub or the
# packer changes. The folder's files are found when CMake runs, and looked
# for again at each build so that added and removed files are seen; a
# folder that the build itself fills lists its files in GAME_FILES instead.
# DEPENDS names targets that must be built before packing.
function(qvn_add_portable_launcher NAME)
  set(textOptions VERSION PRODUCT_NAME COMPANY DESCRIPTION COPYRIGHT)
  cmake_parse_arguments(ARG "" "GAME_DIR;ICON;${textOptions}" "GAME_FILES;DEPENDS" ${ARGN})
  if(NOT ARG_GAME_DIR)
    message(FATAL_ERROR "qvn_add_portable_launcher(${NAME}): GAME_DIR is required")
  endif()
  get_filename_component(gameDir "${ARG_GAME_DIR}" ABSOLUTE)
  if(ARG_GAME_FILES)
    set(gameFiles ${ARG_GAME_FILES})
  else()
    file(GLOB_RECURSE gameFiles LIST_DIRECTORIES false CONFIGURE_DEPENDS "${gameDir}/*")
  endif()

  set(options "")
  set(inputs ${gameFiles})
  if(ARG_ICON)
    get_filename_component(icon "${ARG_ICON}" ABSOLUTE)
    list(APPEND options --icon ${icon})
    list(APPEND inputs ${icon})
  endif()
  foreach(option IN LISTS textOptions)
    if(DEFINED ARG_${option})
      string(TOLOWER "${option}" flag)
      string(REPLACE "_" "-" flag "${flag}")
      list(APPEND options --${flag} "${ARG_${option}}")
    endif()
  endforeach()

  set(out ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${NAME}.exe)
  add_custom_command(OUTPUT ${out}
    COMMAND ${QVN_PACK} launcher --game-dir ${gameDir} --out ${out}
      --stub $<TARGET_FILE:qvn_portable_launcher_stub> ${options}
    DEPENDS ${inputs} qvn_portable_launcher_stub ${QVN_PACK_DEPENDS} ${ARG_DEPENDS}
    COMMENT "Packing ${gameDir} into ${NAME}.exe"
    VERBATIM)
  add_custom_target(${NAME} ALL DEPENDS ${out})
  set_target_properties(${NAME} PROPERTIES QVN_LAUNCHER_FILE ${out})
endfunction()
