#!/usr/bin/env bash
# The real quorvel-cli executable, natively or under Wine: exit codes, outputs, and paths with
# characters from outside every code page, passed on the command line.
# Usage: cli_process_test.sh EMULATOR|"" QUORVEL_CLI EXAMPLES_DIR GOLDEN_IMAGE
set -uo pipefail
emulator="$1" cli="$2" examples="$3" golden="$4"

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvel cli テスト é.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cp "$examples"/* "$work/"
mv "$work/kernel.bin" "$work/カーネル ü 😀.bin"

# Paths as the program sees them.
win() { if [ -n "$emulator" ]; then "$emulator" winepath -w "$1" 2>/dev/null; else printf '%s' "$1"; fi; }
run() { if [ -n "$emulator" ]; then "$emulator" "$cli" "$@"; else "$cli" "$@"; fi; }

failures=0 passes=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then passes=$((passes + 1)); else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}

layout="$(win "$work/board.conf")"
out="$(win "$work/出力 ü 😀.bin")"
images=(-i "ipl=$(win "$work/ipl.bin")" -i "bootloader=$(win "$work/bootloader.bin")"
        -i "kernel=$(win "$work/カーネル ü 😀.bin")" -i "config=$(win "$work/config.bin")")

stdout="$(run -o "$out" "${images[@]}" "$layout" 2>"$work/err")"
check "generate exit code" 0 $?
check "generated image" "$(sha256sum < "$golden")" "$(sha256sum < "$work/出力 ü 😀.bin" 2>/dev/null)"
check "success message" "イメージファイルを作成しました。" "$(printf '%s\n' "$stdout" | head -n 1 | tr -d '\r')"
check "kernel row of the map" 1 "$(printf '%s\n' "$stdout" | grep -c '^kernel .*0x00001000 .*12048 .*4336  .*カーネル ü 😀.bin')"
check "nothing on standard error" "" "$(cat "$work/err")"

listed="$(run --list -i "kernel=$(win "$work/カーネル ü 😀.bin")" "$layout" | tr -d '\r')"
check "list exit code" 0 $?
check "list row" "0x1000	0x4000	kernel	$(win "$work/カーネル ü 😀.bin")" "$(printf '%s\n' "$listed" | sed -n 3p)"
check "list rows" 5 "$(printf '%s\n' "$listed" | wc -l)"

rm -f "$work/出力 ü 😀.bin"
run -o "$out" -i "ipl=$(win "$work/kernel.bin.missing")" "$layout" >/dev/null 2>"$work/err"
check "missing image exit code" 1 $?
check "missing image message" "ファイルを開けません。 $(win "$work/kernel.bin.missing"): " "$(tr -d '\r' < "$work/err" | sed 's/: .*/: /')"
run -o "$out" -i "ipl=$(win "$work/カーネル ü 😀.bin")" "$layout" >/dev/null 2>"$work/err"
check "oversize exit code" 1 $?
check "no output after a failure" "" "$(ls "$work" | grep '出力' || true)"
run -o "$out" "$(win "$work/none.conf")" >/dev/null 2>&1
check "missing layout exit code" 2 $?

# As an ordinary user (root may write anywhere and read anything): an output in a read-only folder,
# and an image file that may not be read.
if [ -z "$emulator" ] && [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  chmod 755 "$work"
  mkdir -m 555 "$work/read-only"
  mkdir -m 777 "$work/open"
  cp "$work/ipl.bin" "$work/secret.bin"; chmod 000 "$work/secret.bin"
  as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" "$@"; }
  as_nobody -o "$work/read-only/all.bin" "$work/board.conf" >/dev/null 2>"$work/err"
  check "read-only folder exit code" 1 $?
  check "read-only folder message" "ファイルを開けません。 $work/read-only/all.bin: Permission denied" "$(cat "$work/err")"
  check "nothing in the read-only folder" "" "$(ls -A "$work/read-only")"
  as_nobody -q -o "$work/open/all.bin" -i "ipl=$work/ipl.bin" "$work/board.conf"
  check "an ordinary user writes where it may" 0 $?
  as_nobody -o "$work/open/all.bin" -i "ipl=$work/secret.bin" "$work/board.conf" >/dev/null 2>"$work/err"
  check "unreadable image exit code" 1 $?
  check "unreadable image message" "ファイルを開けません。 $work/secret.bin: Permission denied" "$(cat "$work/err")"
  check "no output after an unreadable image" "" "$(ls -A "$work/open")"
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
