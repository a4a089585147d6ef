#!/usr/bin/env bash
# Benchmark: a 1 GiB whole-flash image (four regions, 340 MiB of image files, one region without an
# image) written by quorvel-cli, by dd writing the same number of bytes (the write limit), and by
# genimage and srec_cat producing the same bytes; then a 1.5 GiB region holding a 1.4 GiB image.
# Each run is timed until its output is on the disk (sync), so that the page cache does not decide.
# Prints medians of alternating runs, ratios to dd and peak memory. Needs about 6 GiB of disk.
# Usage: bench/run.sh [RUNS]   (RUNS: runs of each tool, 3 when not given)
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-3}"
cd "$top"
bash scripts/install-prereqs.sh >/dev/null
for p in genimage srecord time; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ -n "${need[*]:-}" ]; then apt-get install -y -q "${need[@]}" >/dev/null; fi
cmake --preset native >/dev/null && cmake --build --preset native --target quorvel-cli >/dev/null
cli="$top/build/native/cli/quorvel-cli"

work="$top/build/bench"
mkdir -p "$work"
cd "$work"
MiB=$((1 << 20))
# Image files, made once: random bytes, so nothing can be skipped or compressed on the way.
[ -f ipl.bin ] || head -c $((40 * MiB)) /dev/urandom > ipl.bin
[ -f kernel.bin ] || head -c $((200 * MiB)) /dev/urandom > kernel.bin
[ -f userland.bin ] || head -c $((100 * MiB)) /dev/urandom > userland.bin
cat > board.conf <<'CONF'
[ipl]
OFFSET=0x00000000
SIZE=0x04000000
[kernel]
OFFSET=0x04000000
SIZE=0x10000000
[userland]
OFFSET=0x14000000
SIZE=0x20000000
[config]
OFFSET=0x34000000
SIZE=0x0C000000
CONF
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
: > empty.bin

declare -A command=(
  [quorvel-cli]="$cli -q -o quorvel.bin -i ipl=ipl.bin -i kernel=kernel.bin -i userland=userland.bin board.conf"
  [dd]="dd if=/dev/zero of=dd.bin bs=4M count=256 status=none"
  [genimage]="genimage --config genimage.cfg --rootpath . --tmppath gtmp --inputpath . --outputpath ."
  [srec_cat]="srec_cat '(' ipl.bin -binary -offset 0 kernel.bin -binary -offset 0x04000000 userland.bin -binary -offset 0x14000000 ')' -fill 0xFF 0 0x40000000 -o srec.bin -binary"
)
declare -A output=([quorvel-cli]=quorvel.bin [dd]=dd.bin [genimage]=genimage.bin [srec_cat]=srec.bin)
tools=(quorvel-cli dd genimage srec_cat)

# One run: prints "seconds peak-KiB".
measure() {
  rm -rf "${output[$1]}" gtmp
  sync  # each run starts with nothing left to write back from the one before
  # Timed until the image is on the disk, not only in the page cache: the write limit is the disk's.
  /usr/bin/time -f "%e %M" -o time.txt bash -c "${command[$1]} && sync -f ${output[$1]}" >/dev/null 2>run.log ||
    { cat run.log >&2; return 1; }
  cat time.txt
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

declare -A times peaks same
for ((i = 0; i < runs; i++)); do
  for tool in "${tools[@]}"; do
    read -r seconds peak < <(measure "$tool")
    times[$tool]+="$seconds "
    peaks[$tool]+="$peak "
    if [ "$tool" != dd ] && [ "$i" -eq 0 ]; then
      if [ "$tool" = quorvel-cli ]; then cp --reflink=auto quorvel.bin reference.bin 2>/dev/null || mv quorvel.bin reference.bin
      else cmp -s reference.bin "${output[$tool]}" && same[$tool]=yes || same[$tool]=NO; fi
    fi
    rm -f "${output[$tool]}"
  done
done
same[quorvel-cli]=reference
same[dd]="(zeros)"
rm -f reference.bin

dd_median=$(printf '%s\n' ${times[dd]} | median)
echo
echo "1 GiB image: 4 regions, 340 MiB of image files, one region without an image; $runs alternating runs each"
printf '%-12s %10s %10s %12s  %s\n' tool "median s" "x dd" "peak MiB" "same bytes as quorvel-cli"
for tool in "${tools[@]}"; do
  m=$(printf '%s\n' ${times[$tool]} | median)
  peak=$(printf '%s\n' ${peaks[$tool]} | sort -n | tail -1)
  printf '%-12s %10.2f %10.2f %12.1f  %s\n' "$tool" "$m" "$(echo "$m / $dd_median" | bc -l)" "$(echo "$peak / 1024" | bc -l)" "${same[$tool]}"
done

# A region larger than a 32-bit program could allocate in one piece.
[ -f huge.bin ] || head -c $((1400 * MiB)) /dev/urandom > huge.bin
printf '[userland]\nOFFSET=0\nSIZE=0x60000000\n' > huge.conf
command[quorvel-cli]="$cli -q -o quorvel.bin -i userland=huge.bin huge.conf"
command[dd]="dd if=/dev/zero of=dd.bin bs=4M count=384 status=none"
echo
echo "One region of 1.5 GiB holding a 1.4 GiB image"
printf '%-12s %10s %10s %12s\n' tool "median s" "x dd" "peak MiB"
unset times peaks; declare -A times peaks
for ((i = 0; i < runs; i++)); do
  for tool in quorvel-cli dd; do
    read -r seconds peak < <(measure "$tool")
    times[$tool]+="$seconds "; peaks[$tool]+="$peak "
    if [ "$tool" = quorvel-cli ] && [ "$i" -eq 0 ]; then
      cmp -s -n $((1400 * MiB)) huge.bin quorvel.bin && [ "$(stat -c %s quorvel.bin)" = $((0x60000000)) ] || echo "quorvel-cli wrote a wrong image" >&2
    fi
    rm -f "${output[$tool]}"
  done
done
dd_median=$(printf '%s\n' ${times[dd]} | median)
for tool in quorvel-cli dd; do
  m=$(printf '%s\n' ${times[$tool]} | median)
  peak=$(printf '%s\n' ${peaks[$tool]} | sort -n | tail -1)
  printf '%-12s %10.2f %10.2f %12.1f\n' "$tool" "$m" "$(echo "$m / $dd_median" | bc -l)" "$(echo "$peak / 1024" | bc -l)"
done
