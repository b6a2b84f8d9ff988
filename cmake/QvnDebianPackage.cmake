# The Debian package quorvane-portable, made by CPack's DEB generator from
# the install rules of this Windows tree (the stub) and of its host-tools
# tree (the Linux packer and the CMake package), with prefix /usr: qvn_pack
# in /usr/bin, the stub in /usr/share/quorvane-portable, where qvn_pack and
# the package look for it, and the package in /usr/lib/cmake, where
# find_package(QuorvanePortable) looks with no hints. The component
# `debian` adds what Debian asks of a package: a man page made with
# help2man from qvn_pack --help, the copyright file (LICENSE and
# THIRD-PARTY-NOTICES) and a changelog. lintian has nothing to say of it,
# so it carries no overrides.
#   cpack --config <tree>/CPackConfig.cmake -B <folder>
set(debianDir ${CMAKE_BINARY_DIR}/debian)
set(docDir share/doc/quorvane-portable)
set(hostToolsDir ${CMAKE_BINARY_DIR}/host-tools)

add_custom_command(OUTPUT ${debianDir}/qvn_pack.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${debianDir}
  COMMAND python3 ${PROJECT_SOURCE_DIR}/packaging/debian/make_man_page.py ${QVN_PACK} ${debianDir}/qvn_pack.1
  COMMAND gzip -9nf ${debianDir}/qvn_pack.1
  DEPENDS ${QVN_PACK_DEPENDS} ${PROJECT_SOURCE_DIR}/packaging/debian/make_man_page.py
  COMMENT "Writing the man page qvn_pack.1"
  VERBATIM)

# The changelog's date is the release's (SOURCE_DATE_EPOCH, as release.sh
# sets it), so the same commit gives the same file.
string(TIMESTAMP QVN_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in ${debianDir}/changelog @ONLY)
add_custom_command(OUTPUT ${debianDir}/changelog.gz
  COMMAND sh -c "gzip -9n <changelog >changelog.gz"
  WORKING_DIRECTORY ${debianDir}
  DEPENDS ${debianDir}/changelog
  VERBATIM)

# One copyright file: the project's licence, then the notices.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licenseText)
file(READ ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES noticesText)
file(WRITE ${debianDir}/copyright "quorvane-portable: the Quorvane portable launcher's packer, stub and CMake package.\n\n"
  "The project's own files:\n\n${licenseText}\n\n${noticesText}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in)

add_custom_target(qvn_debian_files ALL DEPENDS ${debianDir}/qvn_pack.1.gz ${debianDir}/changelog.gz)
install(FILES ${debianDir}/qvn_pack.1.gz DESTINATION share/man/man1 COMPONENT debian)
install(FILES ${debianDir}/copyright ${debianDir}/changelog.gz DESTINATION ${docDir} COMPONENT debian)
# The host packer as shipped: without its symbol table (the host-tools
# tree installs it as built). Installed last, so it runs on the staged file.
find_program(QVN_HOST_STRIP strip PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
install(CODE "execute_process(COMMAND ${QVN_HOST_STRIP} --strip-unneeded --remove-section=.comment --remove-section=.note
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/qvn_pack\" COMMAND_ERROR_IS_FATAL ANY)" COMPONENT debian)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane-portable)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${hostToolsDir};Quorvane;packer;/"
  "${hostToolsDir};Quorvane;package;/"
  "${CMAKE_BINARY_DIR};Quorvane;stub;/"
  "${CMAKE_BINARY_DIR};Quorvane;debian;/")
set(CPACK_PACKAGE_CONTACT "Quorvane portable launcher authors <quorvane-portable@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "packer for one-file portable Windows game launchers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "qvn_pack turns a game folder into one Windows executable that carries the
whole game, checks it and unpacks it beside itself when a player starts it.
It also lists, verifies and extracts such launchers, with --json reports for
build pipelines. The package holds the launcher stub and a CMake package,
QuorvanePortable, whose qvn_add_portable_launcher makes launchers in a
build.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The stub and the man page are data, not programs of this system.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
