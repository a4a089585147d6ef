#!/usr/bin/env bash
# Checks the Windows programs as files: each is of the expected kind (PE32 for 32-bit Windows, PE32+
# for 64-bit), the dialog program a GUI program and the tool a console one, and neither imports an
# ANSI ("...A") function of the system's user interface, file or dialog libraries: those would read
# and write paths and texts in the locale's code page. (The MinGW runtime's LoadLibraryA of its own
# fixed DLL names is no such call.)
# Usage: windows_executables.sh OBJDUMP PE32|PE32+ GUI_EXE CONSOLE_EXE
set -uo pipefail
objdump="$1" kind="$2" gui="$3" console="$4"
passes=0 failures=0
check() { if [ "$2" == "$3" ]; then passes=$((passes + 1)); else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi; }

for exe in "$gui" "$console"; do
  headers="$("$objdump" -p "$exe")"
  subsystem="Windows CUI"
  [ "$exe" = "$gui" ] && subsystem="Windows GUI"
  check "$(basename "$exe") is $kind" "$kind" "$(sed -n 's/^Magic.*(\(.*\))$/\1/p' <<<"$headers")"
  check "$(basename "$exe") is a $subsystem program" "$subsystem" "$(sed -n 's/^Subsystem.*(\(.*\))$/\1/p' <<<"$headers")"
  imports="$(awk '/DLL Name:/ {dll=tolower($3)} /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll, $NF}' <<<"$headers")"
  count="$(grep -cE '^(user32|kernel32|comdlg32|comctl32|shell32|gdi32)\.dll ' <<<"$imports")"
  ansi="$(grep -E '^(user32|comdlg32|shell32)\.dll .*A$|^kernel32\.dll (CreateFile|DeleteFile|GetPrivateProfileString|GetFileAttributes|FindFirstFile|MoveFile|CopyFile|GetModuleFileName)A$' <<<"$imports" | tr '\n' ' ')"
  check "$(basename "$exe") imports no ANSI function among its $count system imports" "" "$ansi"
done
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
