#!/usr/bin/env bash
# Erased runs shared, not written: on small XFS (reflink) and btrfs file systems made and mounted
# here, the image is the one written byte by byte (--no-clone), whatever the alignment of regions and
# images, and its fill really shares blocks; where blocks cannot be shared (ext4, tmpfs) the same
# bytes are written; a run killed midway leaves nothing. Skipped (77) where nothing can be mounted.
# Usage: shared_fill_test.sh QUORVEL_CLI
set -uo pipefail
cli="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/quorvel-shared.XXXXXX")"
mounts=()
cleanup() {
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0 passes=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then passes=$((passes + 1)); else echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}

# mount_fs TYPE: a small file system of that type under $work/TYPE; false where it cannot be made.
mount_fs() {
  local type="$1" image="$work/$1.img" dir="$work/$1"
  mkdir -p "$dir"
  truncate -s 320M "$image"
  case "$type" in
    xfs) mkfs.xfs -q -m reflink=1 "$image" ;;
    btrfs) mkfs.btrfs -q "$image" ;;
    ext4) mkfs.ext4 -q "$image" ;;
  esac >/dev/null 2>&1 && mount -o loop "$image" "$dir" 2>/dev/null || return 1
  mounts+=("$dir")
}

# The images and layouts of every case, in DIR: regions at block boundaries with large fill, and
# regions and images that end anywhere (inside a block, smaller than a block, empty, none).
prepare() {
  local dir="$1"
  head -c 3000000 /dev/urandom > "$dir/kernel.bin"
  head -c 4096 /dev/urandom > "$dir/ipl.bin"
  head -c 5001 /dev/urandom > "$dir/odd.bin"
  head -c 200 /dev/urandom > "$dir/tiny.bin"
  : > "$dir/empty.bin"
  printf '[ipl]\nOFFSET=0\nSIZE=0x10000\n[kernel]\nOFFSET=0x10000\nSIZE=0x800000\n[userland]\nOFFSET=0x810000\nSIZE=0x2000000\n' \
    > "$dir/aligned.conf"
  printf '[ipl]\nOFFSET=0\nSIZE=0x1FFF\n[bootloader]\nOFFSET=0x1FFF\nSIZE=0x100\n[kernel]\nOFFSET=0x20FF\nSIZE=0x333333\n' > "$dir/odd.conf"
  printf '[config]\nOFFSET=0x335432\nSIZE=0x1234567\n[image]\nOFFSET=0x1569999\nSIZE=0x200001\n' >> "$dir/odd.conf"
}
write() {  # write DIR LAYOUT OUTPUT [OPTION]: the image of the case
  local dir="$1"
  "$cli" -q ${4:-} -o "$dir/$3" -i kernel="$dir/kernel.bin" -i ipl="$dir/ipl.bin" \
    $([ "$2" = odd ] && echo -i bootloader="$dir/tiny.bin" -i config="$dir/empty.bin" -i image="$dir/odd.bin") "$dir/$2.conf"
}
used_kib() { df -k --output=used "$1" | tail -1 | tr -d ' '; }

ran=0
for type in xfs btrfs; do
  mount_fs "$type" || { echo "# $type: cannot make or mount one here; not tried"; continue; }
  ran=$((ran + 1))
  dir="$work/$type"
  prepare "$dir"
  for layout in aligned odd; do
    write "$dir" "$layout" written.bin --no-clone
    sync -f "$dir/written.bin"
    before=$(used_kib "$dir")
    write "$dir" "$layout" shared.bin
    check "$type, $layout: written" 0 $?
    sync -f "$dir/shared.bin"
    check "$type, $layout: the same bytes as written" same "$(cmp -s "$dir/written.bin" "$dir/shared.bin" && echo same)"
    # The fill shares blocks: of the aligned case's 40 MiB, 37 are fill and 3 the kernel's image (which
    # the image files' copy shares); of the other's 24 MiB, 21 are fill.
    check "$type, $layout: the fill takes next to no space" yes "$([ $(($(used_kib "$dir") - before)) -lt 8192 ] && echo yes)"
    rm -f "$dir/written.bin" "$dir/shared.bin"
  done
  # Regions taken back out share their fill too: userland's 32 MiB hold none of the image's bytes.
  write "$dir" aligned shared.bin && sync -f "$dir/shared.bin" && mkdir "$dir/x" && before=$(used_kib "$dir")
  "$cli" -q --extract "$dir/shared.bin" -o "$dir/x" "$dir/aligned.conf" && sync -f "$dir/x/userland.bin"
  check "$type: regions taken out: the fill takes next to no space" "0 yes" "$? $([ $(($(used_kib "$dir") - before)) -lt 8192 ] && echo yes)"
  rm -rf "$dir/x" "$dir/shared.bin"
  # Killed while a region's image (a pipe that gives nothing) is awaited: the old image stays, and
  # nothing else is left, whether the temporary has a name or not.
  mkfifo "$dir/stalled.bin"
  for named in "" 1; do
    printf 'old image' > "$dir/out.bin"
    QUORVEL_NAMED_TEMPORARY=$named "$cli" -q -o "$dir/out.bin" -i userland="$dir/stalled.bin" "$dir/aligned.conf" &
    pid=$!
    exec 3>"$dir/stalled.bin"  # the tool now waits for bytes that never come
    sleep 0.3
    kill -KILL "$pid"; wait "$pid" 2>/dev/null
    exec 3>&-
    [ -n "$named" ] && write "$dir" aligned next.bin  # the next run removes what a killed one named
    check "$type: killed${named:+ (named temporary)}: the old image stays" "old image" "$(cat "$dir/out.bin")"
    check "$type: killed${named:+ (named temporary)}: nothing left" "" "$(ls -A "$dir" | grep -i quorvel)"
  done
done
# Where blocks cannot be shared, the bytes are written.
for dir in "$work" /dev/shm; do
  dir="$(mktemp -d "$dir/fallback.XXXXXX")"
  prepare "$dir"
  write "$dir" odd written.bin --no-clone
  write "$dir" odd shared.bin
  check "$(stat -f -c %T "$dir"): the same bytes, written" same "$(cmp -s "$dir/written.bin" "$dir/shared.bin" && echo same)"
  rm -rf "$dir"
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ] || exit 1
[ "$ran" -gt 0 ] || { echo "skipped: no XFS or btrfs file system could be mounted here (root and loop devices are needed)"; exit 77; }
