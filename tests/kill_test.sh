#!/usr/bin/env bash
# Kills quorvel-cli at several moments of a large write and checks that the output's name never
# holds a partial image: it holds the old image, or nothing, or the whole new image.
# Usage: kill_test.sh QUORVEL_CLI
set -uo pipefail
cli="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '[ipl]\nOFFSET=0\nSIZE=0x100000\n[userland]\nOFFSET=0x100000\nSIZE=0x10000000\n' > "$work/big.conf"
head -c 700000 /dev/urandom > "$work/ipl.bin"
expected_size=$((0x10100000))

passes=0 failures=0
for delay in 0.01 0.05 0.1 0.2 0.3 0.5 0.8; do
  printf 'old image' > "$work/all.bin"
  "$cli" -q -o "$work/all.bin" -i "ipl=$work/ipl.bin" "$work/big.conf" &
  pid=$!
  sleep "$delay"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  size=$(stat -c %s "$work/all.bin" 2>/dev/null || echo missing)
  if [ "$size" = 9 ] && [ "$(cat "$work/all.bin")" = "old image" ]; then
    what="the old image"
  elif [ "$size" = "$expected_size" ] && cmp -s -n 700000 "$work/ipl.bin" "$work/all.bin"; then
    what="the whole new image"
  else
    what="a partial image ($size bytes)"
  fi
  if [ "${what#a partial}" = "$what" ]; then passes=$((passes + 1)); else failures=$((failures + 1)); fi
  echo "killed after ${delay}s: the output holds $what"
  rm -f "$work"/.all.bin.*.quorvel-tmp
done
echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
