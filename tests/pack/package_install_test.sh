#!/usr/bin/env bash
# `cmake --install` of the build tree into a scratch prefix gives the packer
# and a CMake package that a project without any compiler finds by version:
# the installed packer runs from there, the package names the stub where a
# tree that builds it installs it and defines qvn_add_portable_launcher, and
# versions the package does not promise to serve are refused.
# Usage: package_install_test.sh BUILD_DIR VERSION SCRATCH
set -uo pipefail
build_dir=$1 version=$2 scratch=$3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

rm -rf "$scratch"
mkdir -p "$scratch/project"
cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null || fail "cmake --install"
for file in bin/qvn_pack lib/cmake/QuorvanePortable/QuorvanePortableConfig.cmake \
  lib/cmake/QuorvanePortable/QuorvanePortableConfigVersion.cmake \
  lib/cmake/QuorvanePortable/QuorvanePortableLauncher.cmake lib/cmake/QuorvanePortable/QuorvanePortableSign.cmake; do
  [[ -e $scratch/prefix/$file ]] || fail "$file is not installed"
done

IFS=. read -r major minor patch <<<"$version"
# requested version -> whether the package is found
cases=(
  "$major.$minor found"
  "$major.$minor.$patch found"
  "$major.$((minor + 1)) refused"
  "$((major + 1)).0 refused"
)
((minor > 0)) && cases+=("$major.$((minor - 1)) refused")
cat >"$scratch/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(package_probe LANGUAGES NONE)
find_package(QuorvanePortable ${REQUESTED} REQUIRED)
execute_process(COMMAND ${QuorvanePortable_PACK} --version OUTPUT_VARIABLE packVersion)
get_target_property(packLocation QuorvanePortable::qvn_pack IMPORTED_LOCATION)
if(COMMAND qvn_add_portable_launcher)
  set(function "qvn_add_portable_launcher")
endif()
message(STATUS "package ${QuorvanePortable_VERSION} packer ${packLocation}: ${packVersion}")
message(STATUS "stub ${QuorvanePortable_STUB} ${function}")
CMAKE
for case in "${cases[@]}"; do
  read -r requested expected <<<"$case"
  rm -rf "$scratch/project/build"
  output=$(cmake -S "$scratch/project" -B "$scratch/project/build" -DREQUESTED="$requested" \
    -DCMAKE_PREFIX_PATH="$scratch/prefix" 2>&1)
  status=$?
  if [[ $expected == found ]]; then
    [[ $status -eq 0 && $output == *"package $version packer $scratch/prefix/bin/qvn_pack: qvn_pack $version"* &&
      $output == *"stub $scratch/prefix/share/quorvane-portable/qvn_portable_launcher_stub.exe qvn_add_portable_launcher"* ]] ||
      { echo "$output"; fail "find_package(QuorvanePortable $requested) should find $version"; }
  else
    [[ $status -ne 0 && $output == *"QuorvanePortable"* ]] ||
      { echo "$output"; fail "find_package(QuorvanePortable $requested) should refuse $version"; }
  fi
  echo "find_package(QuorvanePortable $requested): status $status, expected $expected"
done

((failures == 0)) && echo "all checks passed"
exit $((failures > 0))
