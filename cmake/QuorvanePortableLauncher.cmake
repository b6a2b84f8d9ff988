# qvn_add_portable_launcher(<name> GAME_DIR <dir> [ICON <ico>] [VERSION <v>]
#   [PRODUCT_NAME <text>] [COMPANY <text>]
#   [DESCRIPTION <text>] [COPYRIGHT <text>] [GAME_FILES <files>]
#   [DEPENDS <targets>])
#
# Makes <name>.exe in the runtime output folder (or, where none is set, the
# current binary folder) from the launcher stub with `qvn_pack launcher`;
# the target's QVN_LAUNCHER_FILE property names it. It is made again when a
# file of the folder, the icon, the stub or the packer changes. The folder's
# files are found when CMake runs, and looked for again at each build so
# that added and removed files are seen; a folder that the build itself
# fills lists its files in GAME_FILES instead. DEPENDS names targets that
# must be built before packing.
#
# The packer and the stub are QuorvanePortable_PACK and QuorvanePortable_STUB;
# QuorvanePortable_TOOL_DEPENDS lists the files or targets behind them.
# find_package(QuorvanePortable) sets all three to the installed files; this
# project's own build sets them to what it builds.
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

  set(outDir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  if(NOT outDir)
    set(outDir ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  set(out ${outDir}/${NAME}.exe)
  set(packed ${out})
  get_filename_component(packedDir ${packed} DIRECTORY)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packedDir}
    COMMAND ${QuorvanePortable_PACK} launcher --game-dir ${gameDir} --out ${packed}
      --stub ${QuorvanePortable_STUB} ${options}
    DEPENDS ${inputs} ${QuorvanePortable_TOOL_DEPENDS} ${ARG_DEPENDS}
    COMMENT "Packing ${gameDir} into ${NAME}.exe"
    VERBATIM)

  add_custom_target(${NAME} ALL DEPENDS ${out})
  set_target_properties(${NAME} PROPERTIES QVN_LAUNCHER_FILE ${out})
endfunction()
