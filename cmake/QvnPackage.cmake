# What `cmake --install` puts under a prefix: the packer in bin/, the
# launcher stub in share/quorvane-portable/, a CMake package in
# lib/cmake/QuorvanePortable/ that finds both relative to where it lies, and
# LICENSE and THIRD-PARTY-NOTICES. Each is a component of its own (packer,
# stub, package, notices), so a release can take the packer from the tree
# that built it for its host.
include(CMakePackageConfigHelpers)

# A Windows tree installs both packers: qvn_pack.exe and the host's own
# qvn_pack, which it builds to pack at build time. The package picks the one
# for the host that runs CMake.
set(QVN_INSTALL_BIN_DIR bin)
# The stub is installed into QVN_INSTALL_STUB_DIR by the tree that builds
# it; the package names it whether or not this tree did. qvn_pack looks for
# it there too (kInstalledStubDir in tools/pack/cli/packer_directory.h).
set(QVN_INSTALL_STUB_DIR share/quorvane-portable)
set(QVN_INSTALL_STUB ${QVN_INSTALL_STUB_DIR}/qvn_portable_launcher_stub.exe)
set(packageDir lib/cmake/QuorvanePortable)

install(TARGETS qvn_pack RUNTIME DESTINATION bin COMPONENT packer)
# The project's licence and the notices of what its programs hold, at the
# top of an archive (a Debian package carries both in its copyright file).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES DESTINATION . COMPONENT notices)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuorvanePortableConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/QuorvanePortableConfig.cmake
  INSTALL_DESTINATION ${packageDir}
  PATH_VARS QVN_INSTALL_BIN_DIR QVN_INSTALL_STUB)
# Before 1.0 a new minor version may change what the package offers.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/QuorvanePortableConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion
  ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/package/QuorvanePortableConfig.cmake
  ${CMAKE_BINARY_DIR}/package/QuorvanePortableConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/QuorvanePortableLauncher.cmake
  ${CMAKE_CURRENT_LIST_DIR}/QuorvanePortableSign.cmake
  DESTINATION ${packageDir} COMPONENT package)
