#!/usr/bin/env bash
# Makes the Windows package and checks it as a Windows user would receive it: the zip holds both
# programs, the example and the README; the command-line tool in it writes the example image; the
# dialog program in it is the one built and writes the example image as a user does, and ends.
# Without WINE_RUN (a machine that cannot run the build's programs), only what the zip holds.
# Usage: package_test.sh BUILD_DIR WINE_RUN|"" E2E_TESTS|"" GOLDEN_IMAGE
set -uo pipefail
build="$(cd "$1" && pwd)" wine_run="$2" e2e_tests="$3" golden="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

rm -f "$build"/Quorvel-*.zip  # a package of an earlier build would be a second one
(cd "$build" && cpack -G ZIP >/dev/null) || { echo "cpack failed"; exit 1; }
zip="$(ls "$build"/Quorvel-*-win*.zip)"
check "one package" 1 "$(printf '%s\n' "$zip" | wc -l)"
(cd "$work" && unzip -q "$zip")
top="$work/$(basename "$zip" .zip)"
for f in Quorvel.exe quorvel-cli.exe README.txt examples/board.conf examples/kernel.bin; do
  check "the package holds $f" yes "$([ -f "$top/$f" ] && echo yes || echo no)"
done
check "its Quorvel.exe is the one built (whose properties windows_executables checks)" same "$(cmp -s "$top/Quorvel.exe" "$build/ui/Quorvel.exe" && echo same)"
[ -n "$wine_run" ] || { checks_end; exit; }
win() { "$wine_run" winepath -w "$1" 2>/dev/null; }
(cd "$top" && "$wine_run" ./quorvel-cli.exe -q -o all.bin -i ipl=examples/ipl.bin -i bootloader=examples/bootloader.bin \
   -i kernel=examples/kernel.bin -i config=examples/config.bin examples/board.conf)
check "the packaged quorvel-cli.exe runs" 0 $?
check "and writes the example image" "$(sha256sum < "$golden")" "$(sha256sum < "$top/all.bin")"
out="$(QUORVEL_EXE="$(win "$top/Quorvel.exe")" bash "$(dirname "$0")/through_file.sh" "$wine_run" "$e2e_tests" --gtest_filter='Quorvel.Typical*' 2>&1)"
status=$?
sed 's/^/    /' <<<"$out"
check "the packaged Quorvel.exe writes the example image as a user makes it, and ends" "0 1" "$status $(grep -c '^\[       OK \]' <<<"$out")"
checks_end
