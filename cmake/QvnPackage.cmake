# What `cmake --install` puts under a prefix: the packer in bin/, the
# launcher stub in share/quorvane-portable/, and a CMake package in
# lib/cmake/QuorvanePortable/ that finds both relative to where it lies.
# Each is a component of its own (packer, stub, package), so a release can
# take the packer from the tree that built it for its host.
include(CMakePackageConfigHelpers)

set(QVN_INSTALL_PACK bin/qvn_pack${CMAKE_EXECUTABLE_SUFFIX})
# The stub is installed into QVN_INSTALL_STUB_DIR by the tree that builds
# it; the package names it whether or not this tree did.
set(QVN_INSTALL_STUB_DIR share/quorvane-portable)
set(QVN_INSTALL_STUB ${QVN_INSTALL_STUB_DIR}/qvn_portable_launcher_stub.exe)
set(packageDir lib/cmake/QuorvanePortable)

install(TARGETS qvn_pack RUNTIME DESTINATION bin COMPONENT packer)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuorvanePortableConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/QuorvanePortableConfig.cmake
  INSTALL_DESTINATION ${packageDir}
  PATH_VARS QVN_INSTALL_PACK QVN_INSTALL_STUB)
# Before 1.0 a new minor version may change what the package offers.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/QuorvanePortableConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMinorVersion
  ARCH_INDEPENDENT)
install(FILES ${CMAKE_BINARY_DIR}/package/QuorvanePortableConfig.cmake
  ${CMAKE_BINARY_DIR}/package/QuorvanePortableConfigVersion.cmake
  DESTINATION ${packageDir} COMPONENT package)
