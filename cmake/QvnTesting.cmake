# Test registration for both build trees. Host tests run natively; Windows
# tests run under Wine through the emulator wrapper, all sharing one prefix
# per build tree that a fixture warms up and shuts down.
include(GoogleTest)

function(qvn_add_host_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60
    PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endfunction()

function(qvn_setup_wine_fixture)
  # A server left running by an earlier, interrupted run is stopped first,
  # so that every run starts its own.
  add_test(NAME wine_prefix_start
    COMMAND sh -c "WINEPREFIX='${QVN_WINEPREFIX}' /usr/lib/wine/wineserver -k 2>/dev/null; exec '${QVN_WINE_RUN}' cmd /c exit 0")
  add_test(NAME wine_server_stop
    COMMAND sh -c "WINEPREFIX='${QVN_WINEPREFIX}' /usr/lib/wine/wineserver -k; true")
  set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# Registers a Windows test program; WORKING_DIRECTORY defaults to the
# program's own folder, which is kept short because Wine cannot start
# processes from paths much longer than 260 characters.
function(qvn_add_windows_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SOURCES;LIBS;DEPENDS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(ARG_DEPENDS)
    add_dependencies(${ARG_NAME} ${ARG_DEPENDS})
  endif()
  gtest_discover_tests(${ARG_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300
    PROPERTIES
      FIXTURES_REQUIRED wine
      SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
      TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "WINEPREFIX=${QVN_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml,winedbg.exe=d")
endfunction()

# A test of portable code: native in the host tree, under Wine in the
# Windows tree.
function(qvn_add_portable_test)
  if(WIN32)
    qvn_add_windows_test(${ARGN})
  else()
    qvn_add_host_test(${ARGN})
  endif()
endfunction()
