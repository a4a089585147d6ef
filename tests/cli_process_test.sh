#!/usr/bin/env bash
# The real quorvel-cli executable, natively or under Wine: paths with characters from outside every
# code page on the command line, the system's names as they reach it, other users' files, and runs
# killed in the middle of a write.
# Usage: cli_process_test.sh EMULATOR|"" QUORVEL_CLI EXAMPLES_DIR GOLDEN_IMAGE [kills]
#        (kills: only the runs killed mid-write; without it, everything else)
set -uo pipefail
emulator="$1" cli="$2" examples="$3" golden="$4" part="${5:-}"

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvel cli テスト é.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cp "$examples"/* "$work/"
mv "$work/kernel.bin" "$work/カーネル ü 😀.bin"

# Paths as the program sees them.
win() { if [ -n "$emulator" ]; then "$emulator" winepath -w "$1" 2>/dev/null; else printf '%s' "$1"; fi; }
run() { if [ -n "$emulator" ]; then "$emulator" "$cli" "$@"; else "$cli" "$@"; fi; }

. "$(dirname "$0")/checks.sh"

layout="$(win "$work/board.conf")"
out="$(win "$work/出力 ü 😀.bin")"
images=(-i "ipl=$(win "$work/ipl.bin")" -i "bootloader=$(win "$work/bootloader.bin")"
        -i "kernel=$(win "$work/カーネル ü 😀.bin")" -i "config=$(win "$work/config.bin")")

if [ "$part" != kills ]; then
stdout="$(LANG=C run -o "$out" "${images[@]}" "$layout" 2>"$work/err")"
check "generate: exit code and image" "0 $(sha256sum < "$golden")" "$? $(sha256sum < "$work/出力 ü 😀.bin" 2>/dev/null)"
check "kernel row of the map" 1 "$(printf '%s\n' "$stdout" | grep -c '^kernel .*0x00001000 .*12048 .*4336  .*カーネル ü 😀.bin')"
check "nothing on standard error" "" "$(cat "$work/err")"
check "the tool's words in the locale's language" 1 "$(LANG=ja_JP.UTF-8 run -o "$out" "$layout" | grep -c '^合計 32768 バイト')"
check "--version, and the help's usage named as the tool however it is started" "quorvel-cli 1.0.0.1 1" \
      "$(run --version | tr -d '\r') $(run --help | grep -c ' quorvel-cli \[')"
# A progress line for a large image, on a terminal only.
printf '[userland]\nOFFSET=0\nSIZE=0x4000000\n' > "$work/64.conf"
run -o "$(win "$work/64.bin")" "$(win "$work/64.conf")" >/dev/null 2>"$work/err"
check "no progress line when standard error is a file" "" "$(cat "$work/err")"
if [ -z "$emulator" ]; then
  script -qec "'$cli' -o '$work/64.bin' '$work/64.conf'" /dev/null > "$work/tty"
  check "a progress line on a terminal, redrawn in place and ended" "1 1" \
        "$(grep -c 'MiB/s' "$work/tty") $(grep -c '100%  64 MiB / 64 MiB  [0-9]* MiB/s.$' "$work/tty")"
  # An image on another file system, which the system cannot copy across: copied by the tool; a new
  # output in the umask's mode.
  shm="$(mktemp /dev/shm/quorvel-XXXXXX)"; cp "$work/config.bin" "$shm"
  (umask 022; "$cli" -q -o "$work/shm.bin" -i "ipl=$work/ipl.bin" -i "bootloader=$work/bootloader.bin" \
     -i "kernel=$work/カーネル ü 😀.bin" -i "config=$shm" "$work/board.conf")
  check "an image on another file system, into a new file" "0 644 $(sha256sum < "$golden")" "$? $(stat -c %a "$work/shm.bin") $(sha256sum < "$work/shm.bin")"
  rm -f "$shm"
  # A link at the output is followed, and the file it names keeps its mode.
  install -m 640 /dev/null "$work/target.bin"
  ln -s target.bin "$work/link.bin"
  "$cli" -q -o "$work/link.bin" "$work/board.conf"
  check "a link as output: followed, the file it names written in its mode" "0 link 32768 640" \
        "$? $([ -L "$work/link.bin" ] && echo link) $(stat -c '%s %a' "$work/target.bin")"
  # The system's reasons in the language of the messages, in UTF-8 whatever LC_CTYPE says.
  ja="そのようなファイルやディレクトリはありません"
  only() { env -u LANG -u LC_ALL -u LC_MESSAGES -u LC_CTYPE -u LANGUAGE "$@"; }
  only LANG=ja_JP.UTF-8 "$cli" -q -i "kernel=$work/none.bin" "$work/board.conf" 2>"$work/err"
  check "an image's reason in Japanese (LANG)" 1 "$(grep -c "none.bin: $ja\$" "$work/err")"
  only LC_ALL=ja_JP.UTF-8 "$cli" -q "$work/none.conf" 2>"$work/err"
  check "the layout's reason in Japanese (LC_ALL)" 1 "$(grep -c "none.conf' を読み込めません: $ja\$" "$work/err")"
  only LC_CTYPE=C LC_MESSAGES=ja_JP.UTF-8 "$cli" -q -o "$work/none/x.bin" "$work/board.conf" 2>"$work/err"
  check "the output's reason in Japanese (LC_MESSAGES)" 1 "$(grep -c "x.bin: $ja\$" "$work/err")"
  # A file-size limit makes the system refuse writes past it, as a full disk does: no SIGXFSZ.
  for named in "" 1; do
    (ulimit -f 16; only QUORVEL_NAMED_TEMPORARY=$named "$cli" -q -o "$work/limited.bin" "$work/board.conf") 2>"$work/err"
    check "a write refused midway${named:+ (named temporary)}: reported, nothing left" "1 1 0" \
          "$? $(grep -c 'limited.bin: File too large$' "$work/err") $(ls -A "$work" | grep -c 'limited\|quorvel')"
  done
  # The same for the map: it is made whole before the image takes its place, or neither takes it.
  printf '[%s]\nOFFSET=0\nSIZE=0x10\n' ipl bootloader kernel userland config fpga > "$work/small.conf"
  printf 'old image' > "$work/pair.bin"; printf 'old map' > "$work/pair.json"
  (ulimit -f 1; only "$cli" -q -o "$work/pair.bin" --map-json "$work/pair.json" "$work/small.conf") 2>"$work/err"
  check "a map that cannot be written: the old image with the old map" "1 1 old image old map 0" \
        "$? $(grep -c 'pair.json: File too large$' "$work/err") $(head -c 9 "$work/pair.bin" | tr -c 'a-z ' '?') $(cat "$work/pair.json") $(ls -A "$work" | grep -c quorvel)"
  # An image sent to standard output is all that goes there, written where the stream stands, as cat writes.
  check "the raw image into a pipe: nothing else" "32768 1" \
        "$("$cli" -o /dev/stdout "$work/board.conf" 2>"$work/err" | wc -c) $(grep -c '^total 32768' "$work/err")"
  check "records into a pipe: nothing after the end record" "S9030000FC" \
        "$("$cli" -o /dev/stdout --format srec "$work/board.conf" 2>/dev/null | tail -n 1 | tr -d '\r')"
  printf 'log\n' > "$work/build.log"
  "$cli" -q -o /dev/stdout "$work/board.conf" >> "$work/build.log"
  check "standard output appending to a log: the log kept" "0 32772 log" "$? $(stat -c %s "$work/build.log") $(head -c 3 "$work/build.log" | tr -c 'a-z' '?')"
  { printf HDR; "$cli" -q -o /dev/fd/1 "$work/board.conf"; } > "$work/stream.bin"
  check "/dev/fd/1 after what the stream holds" "32771 HDR" "$(stat -c %s "$work/stream.bin") $(head -c 3 "$work/stream.bin" | tr -c 'A-Z' '?')"
  "$cli" -q -o /dev/fd/1 --map-json "$work/closed.json" "$work/board.conf" >&- 2>"$work/err"
  check "/dev/fd/1 when standard output is closed: refused, nothing written" "1 1 0" \
        "$? $(grep -c 'Bad file descriptor$' "$work/err") $(ls -A "$work" | grep -c 'closed\|quorvel')"
  # Runs at once in one folder through named temporaries: none takes another's for a dead run's, and
  # files that merely look like ours stay.
  mkdir "$work/many"
  printf mine | tee "$work/many/.quorvel-12345678.tmp" > "$work/many/.quorvel-0123456789abcdef-01234567.tmp"
  for round in $(seq 50); do
    for i in 1 2 3 4 5 6; do (umask 022; QUORVEL_NAMED_TEMPORARY=1 "$cli" -q -o "$work/many/o$i.bin" "$work/board.conf" 2>>"$work/err-many") & done
    wait
  done
  check "300 runs, six at once, through named temporaries (new files in the umask's mode)" "6 2" \
        "$(cat "$work/err-many"; find "$work/many" -name 'o?.bin' -size 32768c -perm 644 | wc -l) $(ls -A "$work/many" | grep -c quorvel)"
  # Every region's named temporary removed by Ctrl-C while regions are taken out of a stalling image:
  # eleven of twelve regions given.
  mkdir "$work/twelve" && mkfifo "$work/twelve.fifo"
  for region in bootloader recovery kernel userland firmware license config image fpga free1 free2 ipl; do
    printf '[%s]\nOFFSET=0\nSIZE=0x10\n' "$region"
  done > "$work/twelve.conf"
  QUORVEL_NAMED_TEMPORARY=1 "$cli" -q --extract "$work/twelve.fifo" -o "$work/twelve" "$work/twelve.conf" &
  pid=$!
  exec 3>"$work/twelve.fifo"
  head -c 176 /dev/zero >&3
  sleep 0.5
  check "twelve regions' files being made, the last waiting" 12 "$(ls -A "$work/twelve" | grep -c quorvel)"
  kill -INT "$pid"; wait "$pid" 2>/dev/null; exec 3>&-
  check "regions taken out, stopped by SIGINT: nothing left" "" "$(ls -A "$work/twelve")"
fi

if [ -n "$emulator" ]; then
  # Windows: a device name is written as /dev/null is; a path far beyond MAX_PATH reaches the system
  # in its \\?\ form, folders resolved.
  run -q -o NUL "$layout"
  check "NUL as output" 0 $?
  folder="$(printf 'フォルダー%.0s' {1..10})" deep="$work" deepWin="$(win "$work")"  # winepath cuts long names
  for i in 1 2 3 4 5 6; do deep="$deep/$folder" deepWin="$deepWin\\$folder"; done
  mkdir -p "$deep"
  WINEDEBUG=+file run -q -o "$deepWin\\..\\$folder/all.bin" "$layout" 2>"$work/trace"
  check "an output path of over 300 characters" 0 $?
  check "its image" 32768 "$(stat -c %s "$deep/all.bin" 2>/dev/null)"
  # The trace doubles each backslash and shows the ASCII start of the folder's name.
  traced="$(win "$work" | sed 's/quorvel cli .*/quorvel cli/; s/\\/\\\\/g')"
  check "paths reach the system as \\?\..." "yes" "$(grep -qF "NtPathName_U_WithStatus (L\"\\\\\\\\?\\\\$traced" "$work/trace" && echo yes)"
  check "and never without" 0 "$(grep -cF "NtPathName_U_WithStatus (L\"$traced" "$work/trace")"
fi

# As an ordinary user (root may write anywhere and read anything).
if [ -z "$emulator" ] && [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  as_nobody() { env -u LANG -u LC_ALL -u LC_MESSAGES -u LANGUAGE setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" "$@"; }
  chmod 755 "$work"
  mkdir -m 555 "$work/read-only"; mkdir -m 777 "$work/open"
  as_nobody -o "$work/read-only/all.bin" "$work/board.conf" >/dev/null 2>"$work/err"
  check "a read-only folder" "1 ファイルを開けません。 $work/read-only/all.bin: Permission denied" "$? $(cat "$work/err")"
  printf 'not mine' > "$work/open/theirs.bin"; chmod 444 "$work/open/theirs.bin"
  as_nobody -q -o "$work/open/theirs.bin" "$work/board.conf" 2>"$work/err"
  check "a read-only output is refused before writing" "1 not mine" "$? $(cat "$work/open/theirs.bin")"
  for named in "" 1; do
    install -m 666 -o 65534 /dev/null "$work/read-only/mine.bin"
    QUORVEL_NAMED_TEMPORARY=$named as_nobody -q -o "$work/read-only/mine.bin" "$work/board.conf"
    check "a writable file in a folder that is not${named:+ (named temporary)}: written in place" "0 32768 666" \
          "$? $(stat -c '%s %a' "$work/read-only/mine.bin")"
  done
  # Written in place, a run that fails or is stopped leaves the file empty, never a cut image.
  head -c 5000 /dev/zero > "$work/open/large.bin"
  as_nobody -q -o "$work/read-only/mine.bin" -i "config=$work/open/large.bin" "$work/board.conf" 2>"$work/err"
  check "a failure in place: emptied, and said" "1 0 1" "$? $(stat -c %s "$work/read-only/mine.bin") $(grep -c 'emptied' "$work/err")"
  mkfifo -m 666 "$work/open/stalls"
  for signal in INT TERM HUP; do
    printf 'old image' > "$work/read-only/mine.bin"
    setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" -q -o "$work/read-only/mine.bin" -i "kernel=$work/open/stalls" \
      "$work/board.conf" 2>"$work/err" &
    pid=$!
    exec 3>"$work/open/stalls"
    printf KRNL >&3
    sleep 0.3
    kill -"$signal" "$pid"
    wait "$pid" 2>/dev/null
    exec 3>&-
    check "stopped by SIG$signal in place while an image stalls: emptied, and said" "0 1" \
          "$(stat -c %s "$work/read-only/mine.bin") $(grep -c 'emptied.*mine.bin$' "$work/err")"
  done
  # Without /proc, where no unnamed file can be named: a named one. (Its exit status is not looked at:
  # a sanitizer build's leak checker needs /proc and fails the run at its end.)
  unshare -m sh -c "umount -l /proc && exec setpriv --reuid=65534 --regid=65534 --clear-groups '$cli' -q -o '$work/open/noproc.bin' '$work/board.conf'" 2>/dev/null
  check "without /proc" "32768 0" "$(stat -c %s "$work/open/noproc.bin") $(ls -A "$work/open" | grep -c quorvel)"
  # A file system that fills while the system copies an image into the output: a failed write.
  mkdir "$work/small" && mount -t tmpfs -o size=64k tmpfs "$work/small"
  head -c 49152 /dev/urandom > "$work/small/k.bin"; printf '[kernel]\nOFFSET=0\nSIZE=0x10000\n' > "$work/k.conf"
  only "$cli" -q -o "$work/small/out.bin" -i "kernel=$work/small/k.bin" "$work/k.conf" 2>"$work/err"
  check "a full file system under a copy: cannot write, nothing left" "1 1 k.bin" \
        "$? $(grep -c 'out.bin: No space left on device$' "$work/err") $(ls -A "$work/small")"
  umount "$work/small"
  # Regions taken out into files that cannot be replaced, only written: refused before any is touched.
  install -m 666 -o 65534 /dev/null "$work/read-only/ipl.bin"; printf 'old ipl' > "$work/read-only/ipl.bin"
  as_nobody -q --extract "$golden" -o "$work/read-only" "$work/board.conf" 2>"$work/err"
  check "regions taken out into a folder that takes no new file: refused, the old files kept" "1 1 old ipl" \
        "$? $(grep -c 'ipl.bin: Permission denied$' "$work/err") $(cat "$work/read-only/ipl.bin")"
  # A thread that cannot be had is memory that cannot be had (a user id of its own, with no other
  # process to count).
  (ulimit -u 1; only setpriv --reuid=54321 --regid=54321 --clear-groups "$cli" -q -o "$work/open/x.mot" "$work/board.conf") 2>"$work/err"
  check "no thread for the records: out of memory, nothing left" "1 1 0" \
        "$? $(grep -c '^メモリが足りません。$' "$work/err") $(ls -A "$work/open" | grep -c 'x.mot\|quorvel')"
fi

fi

if [ "$part" = kills ]; then
# Runs stopped in the middle of a 6 GiB write: the output's name holds the old image and the folder
# nothing else, whether the system gives unnamed files or the tool has to name its own.
printf '[ipl]\nOFFSET=0\nSIZE=0x100000\n' > "$work/big.conf"
for region in kernel userland firmware; do printf '[%s]\nOFFSET=1\nSIZE=0x7FFFFFFF\n' "$region" >> "$work/big.conf"; done
signals=(KILL INT TERM HUP); [ -n "$emulator" ] && signals=(KILL)
for named in "" 1; do
  [ -n "$emulator" ] && [ -n "$named" ] && continue
  for signal in "${signals[@]}"; do
    printf 'old image' > "$work/big.bin"
    # The process itself in the background, not a shell around it: it is the one to be stopped.
    QUORVEL_NAMED_TEMPORARY=$named $emulator "$cli" -q -o "$(win "$work/big.bin")" "$(win "$work/big.conf")" &
    pid=$!
    sleep "$([ -n "$emulator" ] && echo 2.5 || echo 0.5)"
    kill -"$signal" "$pid"  # under Wine, the Windows process runs in the process that wine-run became
    wait "$pid" 2>/dev/null
    sleep 0.5
    check "killed by SIG$signal${named:+ (named temporary)}: the old image" "old image" "$(cat "$work/big.bin")"
    # A named temporary is removed on every signal that can be caught, and by the next run after one
    # that cannot.
    [ "$named$signal" = 1KILL ] && run -q -o "$(win "$work/x.bin")" "$layout"
    check "killed by SIG$signal${named:+ (named temporary)}: nothing left" "" "$(ls -A "$work" | grep quorvel)"
  done
done

fi

checks_end
