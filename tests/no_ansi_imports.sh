#!/usr/bin/env bash
# Fails when a Windows executable imports an ANSI ("...A") function of the system's user interface,
# file or dialog libraries: those would read and write paths and texts in the locale's code page.
# (The MinGW runtime's LoadLibraryA of its own fixed DLL names is no such call.)
# Usage: no_ansi_imports.sh OBJDUMP EXE...
set -uo pipefail
objdump="$1"; shift
status=0
for exe in "$@"; do
  imports="$("$objdump" -p "$exe" | awk '/DLL Name:/ {dll=tolower($3)} /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $NF}')"
  count="$(printf '%s\n' "$imports" | grep -cE '^(user32|kernel32|comdlg32|comctl32|shell32|gdi32)\.dll ')"
  ansi="$(printf '%s\n' "$imports" | grep -E '^(user32|comdlg32|shell32)\.dll .*A$|^kernel32\.dll (CreateFile|DeleteFile|GetPrivateProfileString|GetFileAttributes|FindFirstFile|MoveFile|CopyFile|GetModuleFileName)A$' || true)"
  if [ -n "$ansi" ]; then
    echo "$(basename "$exe") imports ANSI functions:"; echo "$ansi"; status=1
  fi
  echo "$(basename "$exe"): $count system imports checked"
done
[ "$status" -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit "$status"
