#!/usr/bin/env bash
# Runs a test program with its output going through a file, passed on to ours as it comes, and
# ends with the program's exit code. Under Wine the desktop process that the program starts lives on
# for seconds after it; with our pipe inherited, ctest would wait that long after every test.
# Usage: through_file.sh COMMAND [ARGUMENT]...
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
"$@" </dev/null >"$out" 2>&1 &
program=$!
tail -s 0.1 -n +1 -f --pid="$program" "$out"
wait "$program"
