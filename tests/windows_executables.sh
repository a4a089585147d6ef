#!/usr/bin/env bash
# Checks the Windows programs as files: each is of the expected kind (PE32 for 32-bit Windows, PE32+
# for 64-bit), the dialog program a GUI program and the tool a console one, and neither imports an
# ANSI ("...A") function of the system's user interface, file or dialog libraries: those would read
# and write paths and texts in the locale's code page. (The MinGW runtime's LoadLibraryA of its own
# fixed DLL names is no such call.) The dialog program's version block, as the file's properties show
# it (the strings of the block that the translation names), and its manifest's execution level.
# Usage: windows_executables.sh OBJDUMP WINDRES PE32|PE32+ GUI_EXE CONSOLE_EXE
set -uo pipefail
objdump="$1" windres="$2" kind="$3" gui="$4" console="$5"
. "$(dirname "$0")/checks.sh"

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
resources="$("$windres" -J coff -i "$gui" -O rc 2>/dev/null)"
strings="$(sed -n '/BLOCK "041104B0"/,/END/s/^ *VALUE "\(.*\)", L\?"\(.*\)"$/\1=\2/p' <<<"$resources" | sed 's/\\x\([0-9a-f]\{4\}\)/\\u\1/g')"
check "the version strings" "CompanyName= FileDescription=Quorvel MFC ｱﾌﾟﾘｹｰｼｮﾝ FileVersion=1, 0, 0, 1 InternalName=Quorvel \
LegalCopyright=(C) 2026 ミルテカ開発チーム LegalTrademarks= OriginalFilename=Quorvel.EXE ProductName=Quorvel ｱﾌﾟﾘｹｰｼｮﾝ \
ProductVersion=1, 0, 0, 1" "$(echo -e "$strings" | tr '\n' ' ' | sed 's/ $//')"
check "the translation and the execution level" "2" "$(grep -c 'VALUE "Translation", 0x411, 1200\|level=""asInvoker""' <<<"$resources")"
checks_end
