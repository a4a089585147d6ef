#!/usr/bin/env bash
# Benchmark. quorvel-cli against the tools a user would otherwise take, each pair run alternately
# (quorvel-cli first in one pair, second in the next) after a warm-up run of each, every run timed
# until its output is on the disk. Prints, per comparison, the median time of each tool, the median
# of the pair-by-pair ratios (the figure to quote: it is what anyone re-running this will see, where
# absolute times on a shared disk vary from run to run) and peak memory.
#   1. A 1 GiB image (four regions, 340 MiB of image files): against dd writing as many bytes (the
#      write limit), genimage and srec_cat writing the same bytes.
#   2. The same layout as Motorola S-record: against srec_cat making the same records from the same
#      inputs, and against quorvel-cli writing the raw image.
#   3. One 1.5 GiB region holding a 1.4 GiB image: against dd. A 256 MiB image given as S-record, as
#      the tool writes it, read back into the raw image: against srec_cat converting the records to a
#      binary. The image's random bytes are none 0xFF, so that the records describe every byte: srec_cat
#      makes the bytes no record gives 0x00, and its -fill 0xFF takes hours on records this many.
#   4. On XFS (reflink) and btrfs file systems made for it (6 GiB loop images, root needed; skipped
#      where they cannot be mounted): the 1 GiB image, a 4 GiB image that is mostly fill, and 12
#      regions at odd offsets, each with its erased runs shared against dd and against the same
#      tool writing every byte (--no-clone), with the space the image takes; on this disk, the 1 GiB
#      image and one with short fill ranges, shared (refused here) against written.
#   5. Peak memory for 16 MiB layouts of pathological lines, natively and in the 32-bit tool.
# Needs about 20 GiB of disk. Usage: bench/run.sh [records] [PAIRS]   (PAIRS: 5 when not given;
# "records" runs the row of records read back alone, about 2 minutes and 1.5 GiB of disk)
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
only=""
if [ "${1:-}" = records ]; then only=records; shift; fi
pairs="${1:-5}"
cd "$top"
bash scripts/install-prereqs.sh >/dev/null
need=()
for p in genimage srecord time xfsprogs btrfs-progs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ "${#need[@]}" -gt 0 ]; then apt-get install -y -q "${need[@]}" >/dev/null; fi
cmake --preset native >/dev/null && cmake --build --preset native --target quorvel-cli >/dev/null
cli="$top/build/native/cli/quorvel-cli"

work="$top/build/bench"
mkdir -p "$work"
cd "$work"
MiB=$((1 << 20))
# Image files, made once: random bytes, so nothing can be skipped or compressed on the way.
if [ -z "$only" ]; then
  [ -f ipl.bin ] || head -c $((40 * MiB)) /dev/urandom > ipl.bin
  [ -f kernel.bin ] || head -c $((200 * MiB)) /dev/urandom > kernel.bin
  [ -f userland.bin ] || head -c $((100 * MiB)) /dev/urandom > userland.bin
  [ -f huge.bin ] || head -c $((1400 * MiB)) /dev/urandom > huge.bin
fi
# 256 MiB as S-record, written by the tool itself, to be read back.
printf '[kernel]\nOFFSET=0\nSIZE=0x10000000\n' > records.conf
if [ ! -f records.mot ]; then
  head -c $((256 * MiB)) /dev/urandom | tr '\377' '\376' > records.bin
  "$cli" -q -o records.mot -i kernel=records.bin records.conf
fi
: > empty.bin
printf '[ipl]\nOFFSET=0x00000000\nSIZE=0x04000000\n[kernel]\nOFFSET=0x04000000\nSIZE=0x10000000\n[userland]\nOFFSET=0x14000000\nSIZE=0x20000000\n[config]\nOFFSET=0x34000000\nSIZE=0x0C000000\n' > board.conf
printf '[userland]\nOFFSET=0\nSIZE=0x60000000\n' > huge.conf
# 4 GiB, mostly fill; 1 GiB in 12 regions at odd offsets; 340 MiB of images with short fills.
printf '[ipl]\nOFFSET=0\nSIZE=0x40000000\n[kernel]\nOFFSET=0x40000000\nSIZE=0x40000000\n[userland]\nOFFSET=0x80000000\nSIZE=0x40000000\n[config]\nOFFSET=0xC0000000\nSIZE=0x40000000\n' > fill4.conf
python3 - <<'PY'
regions = ["bootloader", "recovery", "kernel", "userland", "firmware", "license", "config", "image", "fpga", "free1", "free2", "ipl"]
sizes = [0x3000123, 0x1FFF, 0xE001235, 0x8000777, 0x1000001, 0x123, 0x2345679, 0x4000321, 0x12000001, 0x7654321, 0x10001, 0]
sizes[-1] = (1 << 30) - sum(sizes)
with open("twelve.conf", "w") as f:
    at = 0
    for name, size in zip(regions, sizes):
        f.write(f"[{name}]\nOFFSET=0x{at:X}\nSIZE=0x{size:X}\n")
        at += size
with open("short.conf", "w") as f:
    f.write("[ipl]\nOFFSET=0\nSIZE=0x2801234\n[kernel]\nOFFSET=0x2801234\nSIZE=0xC805678\n[userland]\nOFFSET=0xF006900\nSIZE=0x6409ABC\n")
PY
cat > genimage.cfg <<'CONF'
flash nor-1G {
  pebsize = 65536
  numpebs = 16384
  minimum-io-unit-size = 1
}
image genimage.bin {
  flash {}
  flashtype = "nor-1G"
  partition ipl { image = "ipl.bin" size = 64M }
  partition kernel { image = "kernel.bin" size = 256M }
  partition userland { image = "userland.bin" size = 512M }
  partition config { image = "empty.bin" size = 192M }
}
CONF

images="-i ipl=ipl.bin -i kernel=kernel.bin -i userland=userland.bin"
srec_inputs="'(' ipl.bin -binary -offset 0 kernel.bin -binary -offset 0x04000000 userland.bin -binary -offset 0x14000000 ')'"
declare -A command=(
  [quorvel-cli]="$cli -q -o quorvel.bin $images board.conf"
  [dd]="dd if=/dev/zero of=dd.bin bs=4M count=256 status=none"
  [genimage]="genimage --config genimage.cfg --rootpath . --tmppath gtmp --inputpath . --outputpath ."
  [srec_cat]="srec_cat $srec_inputs -fill 0xFF 0 0x40000000 -o srec.bin -binary"
  [quorvel-srec]="$cli -q -o quorvel.srec $images board.conf"
  [srec_cat-srec]="srec_cat $srec_inputs -unfill 0xFF -o srec.srec -motorola -obs=32 -output-block-alignment -crlf -disable=data-count -execution-start-address=0 -header quorvel -address-length=4"
  [quorvel-huge]="$cli -q -o quorvel.bin -i userland=huge.bin huge.conf"
  [dd-huge]="dd if=/dev/zero of=dd.bin bs=4M count=384 status=none"
  [written]="$cli -q --no-clone -o written.bin $images board.conf"
  [shared-4g]="$cli -q -o quorvel.bin -i kernel=kernel.bin fill4.conf"
  [written-4g]="$cli -q --no-clone -o written.bin -i kernel=kernel.bin fill4.conf"
  [dd-4g]="dd if=/dev/zero of=dd.bin bs=4M count=1024 status=none"
  [shared-12]="$cli -q -o quorvel.bin $images -i image=ipl.bin -i fpga=userland.bin twelve.conf"
  [written-12]="$cli -q --no-clone -o written.bin $images -i image=ipl.bin -i fpga=userland.bin twelve.conf"
  [shared-short]="$cli -q -o quorvel.bin $images short.conf"
  [written-short]="$cli -q --no-clone -o written.bin $images short.conf"
  [quorvel-records]="$cli -q -o quorvel.bin -i kernel=records.mot records.conf"
  [srec_cat-records]="srec_cat records.mot -o srec.bin -binary"
)
declare -A output=([quorvel-cli]=quorvel.bin [dd]=dd.bin [genimage]=genimage.bin [srec_cat]=srec.bin
                   [quorvel-srec]=quorvel.srec [srec_cat-srec]=srec.srec [quorvel-huge]=quorvel.bin [dd-huge]=dd.bin
                   [written]=written.bin [shared-4g]=quorvel.bin [written-4g]=written.bin [dd-4g]=dd.bin
                   [shared-12]=quorvel.bin [written-12]=written.bin [shared-short]=quorvel.bin [written-short]=written.bin
                   [quorvel-records]=quorvel.bin [srec_cat-records]=srec.bin)

# One run, timed until its output is on the disk: prints "seconds peak-KiB".
measure() {
  rm -rf "${output[$1]}" gtmp
  sync  # each run starts with nothing left to write back from the one before
  /usr/bin/time -f "%e %M" -o time.txt bash -c "${command[$1]} && sync -f ${output[$1]}" >/dev/null 2>run.log ||
    { cat run.log >&2; return 1; }
  cat time.txt
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# compare A B [CHECK]: warm-up, then PAIRS alternating pairs; one table row for B against A. CHECK,
# when given, is run once on the outputs of a warm-up pair and says whether they agree.
compare() {
  local a="$1" b="$2" check="${3:-}" ta="" tb="" ratios="" pa=0 pb=0 same="-"
  measure "$a" >/dev/null; measure "$b" >/dev/null
  if [ -n "$check" ]; then
    measure "$a" >/dev/null; cp --reflink=auto "${output[$a]}" reference.out
    measure "$b" >/dev/null; if eval "$check"; then same=yes; else same=NO; fi
    rm -f reference.out
  fi
  for ((i = 0; i < pairs; i++)); do
    local order=("$a" "$b"); ((i % 2)) && order=("$b" "$a")
    declare -A t=() m=()
    for tool in "${order[@]}"; do read -r t[$tool] m[$tool] < <(measure "$tool"); done
    ta+="${t[$a]} "; tb+="${t[$b]} "; ratios+="$(echo "${t[$a]} / ${t[$b]}" | bc -l) "
    ((m[$a] > pa)) && pa=${m[$a]}; ((m[$b] > pb)) && pb=${m[$b]}
  done
  rm -f "${output[$a]}" "${output[$b]}"
  printf '%-14s %8.2f   %-14s %8.2f   %6.2f   %8.1f %8.1f   %s\n' "$a" "$(printf '%s\n' $ta | median)" "$b" \
    "$(printf '%s\n' $tb | median)" "$(printf '%s\n' $ratios | median)" "$(echo "$pa / 1024" | bc -l)" \
    "$(echo "$pb / 1024" | bc -l)" "$same"
}

echo "$pairs alternating pairs after a warm-up; times in seconds until the output is on the disk; peaks in MiB"
printf '%-14s %8s   %-14s %8s   %6s   %8s %8s   %s\n' tool "median" "against" "median" "ratio" "peak" "peak" "same output"
records_check='cmp -s reference.out srec.bin && cmp -s reference.out records.bin'
if [ -n "$only" ]; then
  compare quorvel-records srec_cat-records "$records_check"
  exit 0
fi
compare quorvel-cli dd
compare quorvel-cli genimage 'cmp -s reference.out genimage.bin'
compare quorvel-cli srec_cat 'cmp -s reference.out srec.bin'
compare quorvel-srec srec_cat-srec 'cmp -s reference.out srec.srec'
compare quorvel-srec quorvel-cli
compare quorvel-huge dd-huge 'cmp -s -n $((1400 * MiB)) huge.bin reference.out'
compare quorvel-records srec_cat-records "$records_check"
# Here blocks cannot be shared (ext4): erased runs are written either way.
compare quorvel-cli written 'cmp -s reference.out written.bin'
compare shared-short written-short 'cmp -s reference.out written.bin'

# The same on file systems that share blocks, made for it; the inputs copied onto them.
for fs in xfs btrfs; do
  image="$work/$fs.img" mnt="$work/mnt-$fs"
  mkdir -p "$mnt"
  rm -f "$image"; truncate -s 6G "$image"
  if ! { if [ "$fs" = xfs ]; then mkfs.xfs -q -m reflink=1 "$image"; else mkfs.btrfs -q "$image"; fi; } >/dev/null 2>&1 ||
     ! mount -o loop "$image" "$mnt" 2>/dev/null; then
    echo "($fs: cannot make or mount a loop file system here, as root is needed: rows skipped)"
    continue
  fi
  cp ipl.bin kernel.bin userland.bin empty.bin board.conf fill4.conf twelve.conf short.conf "$mnt/"
  cd "$mnt"
  echo "on $fs:"
  compare quorvel-cli dd
  compare quorvel-cli written 'cmp -s reference.out written.bin'
  compare shared-4g dd-4g
  compare shared-4g written-4g 'cmp -s reference.out written.bin'
  compare shared-12 dd
  compare shared-12 written-12 'cmp -s reference.out written.bin'
  compare shared-short written-short 'cmp -s reference.out written.bin'
  for case in quorvel-cli shared-4g shared-12; do
    rm -f quorvel.bin; sync; before=$(df -k --output=used . | tail -1)
    bash -c "${command[$case]}" && sync -f quorvel.bin
    echo "  space the image of $case takes on $fs: $(( ($(df -k --output=used . | tail -1) - before) / 1024 )) MiB of $(( $(stat -c %s quorvel.bin) >> 20 )) MiB"
  done
  cd "$work"
  umount "$mnt"; rm -f "$image"
done

# Layouts that no one writes, which the tool must still survive, the 32-bit one above all: measured
# in the Windows build this machine can run (32-bit where it runs 32-bit programs, else x86_64).
source "$top/scripts/lib.sh"
preset="$(windows_preset "$(windows_arch)")"
wine_run="$(wine_run_of "$preset")" kind="32-bit"
[ "$preset" = windows64 ] && kind="x86_64"
(cd "$top" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target quorvel-cli >/dev/null)
windows="$top/build/$preset/cli/quorvel-cli.exe"
echo
echo "16 MiB layouts of pathological lines: peak MiB of quorvel-cli --list (natively / $kind under Wine)"
python3 - <<'PY'
open('eq.conf', 'w').write('=\n' * (8 << 20))
open('headers.conf', 'w').write('[ipl]\n' * ((16 << 20) // 6))
PY
for layout in eq headers; do
  # (--list of a layout without regions ends with 1: the figure is what counts here)
  native=$( (/usr/bin/time -f %M "$cli" --list "$layout.conf" 2>&1 >/dev/null || true) | tail -1)
  wine=$( (/usr/bin/time -f %M "$wine_run" "$windows" --list "$layout.conf" 2>&1 >/dev/null || true) | tail -1)
  printf '%-14s %8.1f %10.1f\n' "$layout.conf" "$(echo "$native / 1024" | bc -l)" "$(echo "$wine / 1024" | bc -l)"
done
