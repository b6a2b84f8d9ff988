#!/usr/bin/env bash
# A launcher in a folder nobody may write to (a read-only mount: under Wine
# the tests run as root, for whom no ordinary folder refuses a write) reports
# that data cannot be created, with the system's code, and exits with 1.
# Usage: read_only_folder_test.sh WINE_RUN LAUNCHER RUNNER MOUNT_POINT
set -uo pipefail
wine_run=$1 launcher=$2 runner=$3 folder=$4
skip=77

mkdir -p "$folder"
mount -t tmpfs -o size=16m tmpfs "$folder" 2>/dev/null || { echo "cannot mount here (needs root)"; exit $skip; }
trap 'umount -l "$folder"; rmdir "$folder"' EXIT
cp "$launcher" "$folder/q.exe"
mount -o remount,ro "$folder" || { echo "cannot make the mount read-only"; exit $skip; }

windows_folder="Z:${folder//\//\\}"
report=$("$wine_run" "$runner" "$windows_folder\\q.exe" 2>&1 >/dev/null </dev/null)
status=$?
expected="Quorvane portable: Portable directory must be writable; cannot create directory (Windows error 5)"
echo "report: $report"
echo "exit status: $status"
[[ $report == "$expected" && $status -eq 1 && ! -e $folder/data ]]
