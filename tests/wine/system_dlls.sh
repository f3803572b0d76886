#!/usr/bin/env bash
# system_dlls.sh OBJDUMP EXE...: each program imports only DLLs that every
# Windows installation has, so copying the one file is the whole install.
set -euo pipefail
objdump=$1; shift
allowed=" advapi32.dll comctl32.dll d3d8.dll dsound.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll winmm.dll "
status=0
for exe in "$@"; do
  dlls=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
  [ -n "$dlls" ] || { echo "FAIL: $exe imports nothing (not a PE file?)"; status=1; continue; }
  for dll in $dlls; do
    case "$allowed" in *" $dll "*) ;; *) echo "FAIL: $(basename "$exe") needs $dll"; status=1 ;; esac
  done
  echo "$(basename "$exe"): $(echo $dlls)"
done
exit $status
