#!/usr/bin/env bash
# Erased runs shared, not written: on small XFS (reflink) and btrfs file systems made and mounted
# here, the image and the regions taken back out of it are the bytes written without sharing
# (--no-clone), whatever the alignment of regions and images, and the fill really shares blocks.
# Skipped (77) where nothing can be mounted.
# Usage: shared_fill_test.sh QUORVEL_CLI
set -uo pipefail
cli="$1"
work="$(mktemp -d "${TMPDIR:-/tmp}/quorvel-shared.XXXXXX")"
mounts=()
trap 'for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done; rm -rf "$work"' EXIT
. "$(dirname "$0")/checks.sh"

# Regions at block boundaries with large fill (aligned), and regions and images that end anywhere:
# inside a block, smaller than a block, empty, none (odd).
printf '[ipl]\nOFFSET=0\nSIZE=0x10000\n[kernel]\nOFFSET=0x10000\nSIZE=0x800000\n[userland]\nOFFSET=0x810000\nSIZE=0x2000000\n' \
  > "$work/aligned.conf"
printf '[ipl]\nOFFSET=0\nSIZE=0x1FFF\n[bootloader]\nOFFSET=0x1FFF\nSIZE=0x100\n[kernel]\nOFFSET=0x20FF\nSIZE=0x333333\n' > "$work/odd.conf"
printf '[config]\nOFFSET=0x335432\nSIZE=0x1234567\n[image]\nOFFSET=0x1569999\nSIZE=0x200001\n' >> "$work/odd.conf"
used_kib() { df -k --output=used "$1" | tail -1 | tr -d ' '; }

ran=0
for type in xfs btrfs; do
  dir="$work/$type"
  mkdir "$dir" && truncate -s 320M "$dir.img"
  { [ $type = xfs ] && mkfs.xfs -q -m reflink=1 "$dir.img" || mkfs.btrfs -q "$dir.img"; } >/dev/null 2>&1 &&
    mount -o loop "$dir.img" "$dir" 2>/dev/null || { echo "# $type: cannot make or mount one here; not tried"; continue; }
  mounts+=("$dir") ran=$((ran + 1))
  head -c 3000000 /dev/urandom > "$dir/kernel.bin"; head -c 4096 /dev/urandom > "$dir/ipl.bin"
  head -c 5001 /dev/urandom > "$dir/odd.bin"; head -c 200 /dev/urandom > "$dir/tiny.bin"; : > "$dir/empty.bin"
  for layout in aligned odd; do
    for way in written shared; do
      sync -f "$dir"; before=$(used_kib "$dir")
      "$cli" -q $([ $way = written ] && echo --no-clone) -o "$dir/$way.bin" -i kernel="$dir/kernel.bin" -i ipl="$dir/ipl.bin" \
        $([ $layout = odd ] && echo -i bootloader="$dir/tiny.bin" -i config="$dir/empty.bin" -i image="$dir/odd.bin") "$work/$layout.conf" &&
        mkdir "$dir/$way" && "$cli" -q $([ $way = written ] && echo --no-clone) --extract "$dir/$way.bin" -o "$dir/$way" "$work/$layout.conf"
      check "$type, $layout, $way: image and regions taken out" 0 $?
      sync -f "$dir"; used=$(($(used_kib "$dir") - before))
    done
    # Of the aligned case's 40 MiB (twice: the image and its regions), 37 are fill and 3 the kernel's
    # image, which the image files' copy shares; of the other's 24 MiB, 21 are fill.
    check "$type, $layout: the same bytes, the fill taking next to no space" "same yes" \
          "$(cmp -s "$dir/written.bin" "$dir/shared.bin" && diff -r "$dir/written" "$dir/shared" && echo same) $([ $used -lt 16384 ] && echo yes)"
    rm -rf "$dir/written"* "$dir/shared"*
  done
done
checks_end
[ "$ran" -gt 0 ] || { echo "skipped: no XFS or btrfs file system could be mounted here (root and loop devices are needed)"; exit 77; }
