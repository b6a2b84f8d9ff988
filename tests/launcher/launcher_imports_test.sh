#!/bin/sh
# The launcher starts without user32, nor shell32, which would load it: their
# start-up costs every launch 10 to 40 ms under Wine, for a message box that
# only a failure shows (the box loads user32 when it is needed).
# Usage: launcher_imports_test.sh OBJDUMP LAUNCHER
set -eu
objdump=$1
launcher=$2
imports=$("$objdump" -p "$launcher" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
if ! printf '%s\n' "$imports" | grep -qx 'kernel32.dll'; then
  echo "no import table read from $launcher"
  exit 1
fi
for dll in user32.dll shell32.dll; do
  if printf '%s\n' "$imports" | grep -qx "$dll"; then
    echo "$launcher imports $dll"
    exit 1
  fi
done
