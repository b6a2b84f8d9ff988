# qvn_add_portable_launcher(<name> GAME_DIR <dir> [OUTPUT_NAME <file>] [ICON <ico>] [VERSION <v>]
#   [PRODUCT_NAME <text>] [PRODUCT_URL <url>] [COMPANY <text>]
#   [DESCRIPTION <text>] [COPYRIGHT <text>] [GAME_FILES <files>]
#   [DEPENDS <targets>] [NO_PROGRESS_WINDOW] [CRASH_CAPTURE]
#   [SIGN_PKCS12 <file> [SIGN_PASSWORD_FILE <file>] [SIGN_TIMESTAMP_URL <url>]])
#
# Makes <name>.exe, or OUTPUT_NAME (such as "Quorvane Portable.exe", which
# is also its OriginalFilename), in the runtime output folder (or, where
# none is set, the current binary folder) from the launcher stub with
# `qvn_pack launcher`;
# the target's QVN_LAUNCHER_FILE property names it. It is made again when a
# file of the folder, the icon, the stub or the packer changes. The folder's
# files are found when CMake runs, and looked for again at each build so
# that added and removed files are seen; a folder that the build itself
# fills lists its files in GAME_FILES instead. DEPENDS names targets that
# must be built before packing. NO_PROGRESS_WINDOW makes a launcher that
# never shows its unpacking window, for a game that shows its own splash at
# once. CRASH_CAPTURE makes a launcher that runs the game in crash capture
# mode at every start (a beta build, say), as QVN_CRASH_CAPTURE=1 does for
# one run of any launcher.
#
# With SIGN_PKCS12 the packed launcher is then signed with the certificate
# and key of that PKCS#12 file: osslsigncode on a Linux host, signtool on a
# Windows host, SHA-256, the signature's description set to PRODUCT_NAME
# (default "Quorvane", as for the version information) and, when given,
# its URL to PRODUCT_URL. SIGN_PASSWORD_FILE holds the key's password on its
# first line; only the file's name reaches the build files and the log (for
# signtool, which takes no password file, the password is read when signing
# and given to it directly). SIGN_TIMESTAMP_URL names an RFC 3161 timestamp
# server. The signature covers every byte, so it is always the last step:
# the unsigned launcher lies in <name>-unsigned/ in the current binary
# folder, and <name>.exe appears only once signed.
#
# The packer and the stub are QuorvanePortable_PACK and QuorvanePortable_STUB;
# QuorvanePortable_TOOL_DEPENDS lists the files or targets behind them.
# find_package(QuorvanePortable) sets all three to the installed files; this
# project's own build sets them to what it builds.
# The real path of a file that may not exist yet: the nearest existing
# folder above it with its links resolved, then the rest of the name.
function(_qvn_real_path path result)
  set(existing "${path}")
  set(rest "")
  while(NOT EXISTS "${existing}")
    cmake_path(GET existing FILENAME name)
    cmake_path(GET existing PARENT_PATH parent)
    if(parent STREQUAL existing)
      break()
    endif()
    set(rest "${name}/${rest}")
    set(existing "${parent}")
  endwhile()
  file(REAL_PATH "${existing}" real)
  cmake_path(APPEND real "${rest}" OUTPUT_VARIABLE real)
  cmake_path(NORMAL_PATH real)
  set(${result} "${real}" PARENT_SCOPE)
endfunction()

function(qvn_add_portable_launcher NAME)
  set(textOptions VERSION PRODUCT_NAME COMPANY DESCRIPTION COPYRIGHT)
  set(signOptions SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL)
  cmake_parse_arguments(ARG "NO_PROGRESS_WINDOW;CRASH_CAPTURE"
    "GAME_DIR;OUTPUT_NAME;ICON;PRODUCT_URL;${textOptions};${signOptions}" "GAME_FILES;DEPENDS" ${ARGN})
  if(NOT ARG_GAME_DIR)
    message(FATAL_ERROR "qvn_add_portable_launcher(${NAME}): GAME_DIR is required")
  endif()
  if(NOT ARG_SIGN_PKCS12 AND (ARG_SIGN_PASSWORD_FILE OR ARG_SIGN_TIMESTAMP_URL))
    message(FATAL_ERROR "qvn_add_portable_launcher(${NAME}): SIGN_PASSWORD_FILE and SIGN_TIMESTAMP_URL need SIGN_PKCS12")
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
  if(ARG_NO_PROGRESS_WINDOW)
    list(APPEND options --no-progress-window)
  endif()
  if(ARG_CRASH_CAPTURE)
    list(APPEND options --crash-capture)
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
  set(outName ${NAME}.exe)
  if(ARG_OUTPUT_NAME)
    set(outName "${ARG_OUTPUT_NAME}")
  endif()
  set(out "${outDir}/${outName}")
  # The packer names the version information after the file it writes, so
  # an unsigned launcher keeps the final name, in a folder of its own.
  set(packed ${out})
  if(ARG_SIGN_PKCS12)
    set(packed "${CMAKE_CURRENT_BINARY_DIR}/${NAME}-unsigned/${outName}")
  endif()
  get_filename_component(packedDir ${packed} DIRECTORY)
  # A launcher written inside the folder would be packed into the next one.
  _qvn_real_path("${gameDir}" realGameDir)
  foreach(written IN ITEMS "${packed}" "${out}")
    _qvn_real_path("${written}" realWritten)
    cmake_path(IS_PREFIX realGameDir "${realWritten}" NORMALIZE inside)
    if(inside)
      message(FATAL_ERROR "qvn_add_portable_launcher(${NAME}): ${written} lies inside GAME_DIR ${gameDir}, so each "
        "build would pack the last launcher as a game file; keep GAME_DIR outside the build's output folder "
        "(CMAKE_RUNTIME_OUTPUT_DIRECTORY or ${CMAKE_CURRENT_BINARY_DIR})")
    endif()
  endforeach()
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packedDir}
    COMMAND ${QuorvanePortable_PACK} launcher --game-dir ${gameDir} --out ${packed}
      --stub ${QuorvanePortable_STUB} ${options}
    DEPENDS ${inputs} ${QuorvanePortable_TOOL_DEPENDS} ${ARG_DEPENDS}
    COMMENT "Packing ${gameDir} into ${outName}"
    VERBATIM)

  if(ARG_SIGN_PKCS12)
    if(CMAKE_HOST_WIN32)
      # signtool comes with the Windows SDK, newest version first.
      set(programFiles "ProgramFiles(x86)")
      file(GLOB sdkTools "$ENV{${programFiles}}/Windows Kits/10/bin/*/x64")
      list(SORT sdkTools ORDER DESCENDING)
      find_program(QuorvanePortable_SIGNTOOL signtool PATHS ${sdkTools} DOC "signtool, which signs launchers")
      set(signTool ${QuorvanePortable_SIGNTOOL})
    else()
      find_program(QuorvanePortable_OSSLSIGNCODE osslsigncode DOC "osslsigncode, which signs launchers")
      set(signTool ${QuorvanePortable_OSSLSIGNCODE})
    endif()
    if(NOT signTool)
      message(FATAL_ERROR "qvn_add_portable_launcher(${NAME}): SIGN_PKCS12 needs osslsigncode (Linux) or signtool (Windows), and neither was found")
    endif()
    get_filename_component(pkcs12 "${ARG_SIGN_PKCS12}" ABSOLUTE)
    set(signInputs ${pkcs12})
    set(passwordFile "")
    if(ARG_SIGN_PASSWORD_FILE)
      get_filename_component(passwordFile "${ARG_SIGN_PASSWORD_FILE}" ABSOLUTE)
      list(APPEND signInputs ${passwordFile})
    endif()
    set(productName Quorvane)
    if(DEFINED ARG_PRODUCT_NAME)
      set(productName "${ARG_PRODUCT_NAME}")
    endif()
    set(signScript ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/QuorvanePortableSign.cmake)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DTOOL=${signTool} -DPKCS12=${pkcs12} -DPASSWORD_FILE=${passwordFile}
        -DTIMESTAMP_URL=${ARG_SIGN_TIMESTAMP_URL} -DPRODUCT_NAME=${productName} -DPRODUCT_URL=${ARG_PRODUCT_URL}
        -DIN=${packed} -DOUT=${out} -P ${signScript}
      DEPENDS ${packed} ${signInputs} ${signScript}
      COMMENT "Signing ${outName}"
      VERBATIM)
  endif()
  add_custom_target(${NAME} ALL DEPENDS ${out})
  set_target_properties(${NAME} PROPERTIES QVN_LAUNCHER_FILE ${out})
endfunction()
