#!/usr/bin/env bash
# A verified UDF disc on a virtual drive against the pipeline a Linux user
# would run instead, on the same tree of about 1 GiB (1,000 files of 512 KiB
# and one of 512 MiB):
#   peer:  cp -r data work/ && genisoimage -udf -J -R -o img work &&
#          7zz x -o x img && diff -r data x/data
#   ours:  tessaline make LAYOUT --discs 2 --verify   (a virtual BD-RE)
# Each side is the median of RUNS runs (default 3), interleaved, so that both
# see the same page cache and load, each run after a sync. Target: ours at
# most 1.0 times the peer.
# Then the peak memory (/usr/bin/time -v) of make --verify for a disc of
# 100,000 small files (target: under 64 MiB) and, with --sample, the wall
# time of scripts/make-sample.sh (target: under 20 s).
#
#   bench/virtual_disc_bench.sh BUILD_DIR [--sample] [SCRATCH_PARENT]
#
# BUILD_DIR holds bin/tessaline. The machine's load is printed first and
# last: the figures mean little on a machine busy with other work.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:?usage: $0 BUILD_DIR [--sample] [SCRATCH_PARENT]}")
shift
sample=0
if [[ ${1:-} == --sample ]]; then
  sample=1
  shift
fi
host=$build/bin/tessaline
runs=${RUNS:-3}
for tool in "$host" genisoimage 7zz /usr/bin/time; do
  command -v "$tool" >/dev/null || {
    echo "missing: $tool" >&2
    exit 1
  }
done
scratch=$(mktemp -d "${1:-${TMPDIR:-/tmp}}/tessaline-disc-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

echo "load: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"

now() { date +%s.%N; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

# The tree: data/ in the source folder, which also holds disc 1's item so
# that disc 2 is the second disc of a layout.
src=$scratch/source
mkdir -p "$src/data" "$src/boot"
echo boot >"$src/boot/bcd"
for ((d = 0; d < 10; d++)); do
  mkdir -p "$src/data/folder$d"
  for ((f = 0; f < 100; f++)); do
    head -c 524288 /dev/urandom >"$src/data/folder$d/file$f.bin"
  done
done
head -c $((512 << 20)) /dev/urandom >"$src/data/big.bin"
bytes=$(du -sb "$src/data" | cut -f1)
echo "tree: 1,001 files, $((bytes >> 20)) MiB"
sync

# A layout whose disc 2 is data/, sized for a BD-RE.
layout() {
  cat >"$1" <<EOF
[MEDIA:BENCH]
BENCH1=boot
BENCH2=data

[SIZE:BENCH]
BENCH1=$(du -sb "$src/boot" | cut -f1)
BENCH2=$(du -sb "$src/data" | cut -f1)
EOF
}
layout "$scratch/layout.ini"

peer() {
  local dir=$scratch/peer
  rm -rf "$dir"
  mkdir -p "$dir/work"
  local start
  start=$(now)
  (cd "$dir" && cp -r "$src/data" work/ &&
    genisoimage -quiet -udf -J -R -o img work &&
    7zz x -o"$dir/x" img >/dev/null && diff -r "$src/data" x/data)
  echo "$(now) - $start" | bc
}

# One run of ours, on a fresh drive; $1 is the layout, the rest goes to
# /usr/bin/time (empty: not measured).
ours() {
  local dir=$scratch/ours
  rm -rf "$dir"
  mkdir -p "$dir"
  "$host" drives create "$dir/drives" --type BDRE >/dev/null
  local start
  start=$(now)
  "$host" --drives "$dir/drives" make "$1" --source "$src" --media BENCH \
    --work "$dir/work" --drive 0 --verify --discs 2 >"$dir/out.txt" 2>&1 || {
    cat "$dir/out.txt" >&2
    exit 1
  }
  echo "$(now) - $start" | bc
}

peer_times=()
our_times=()
# Each run starts with nothing left to write back from the one before, so
# that neither side pays for the other's files.
for ((i = 0; i < runs; i++)); do
  sync
  peer_times+=("$(peer)")
  rm -rf "$scratch/peer"
  sync
  our_times+=("$(ours "$scratch/layout.ini")")
  echo "run $((i + 1)): peer ${peer_times[i]} s, ours ${our_times[i]} s"
done
rm -rf "$scratch/peer" "$scratch/ours"
peer_median=$(median "${peer_times[@]}")
our_median=$(median "${our_times[@]}")
ratio=$(echo "scale=2; $our_median / $peer_median" | bc)
printf 'peer pipeline (cp, genisoimage -udf, 7zz x, diff -r): %.2f s (median of %d)\n' \
  "$peer_median" "$runs"
printf 'tessaline make --verify, disc 2 on a virtual BD-RE:  %.2f s (median of %d)\n' \
  "$our_median" "$runs"
met=$(echo "$ratio <= 1.0" | bc)
echo "ratio: $ratio (target <= 1.0) $( ((met)) && echo ok || echo MISSED)"

# 100,000 small files in 100 folders, as disc 2.
rm -rf "$src/data"
for ((d = 0; d < 100; d++)); do
  mkdir -p "$src/data/folder$d"
  (cd "$src/data/folder$d" && for ((f = 0; f < 1000; f++)); do
    echo "$d/$f" >"small-file-$f.txt"
  done)
done
layout "$scratch/small.ini"
dir=$scratch/ours
rm -rf "$dir"
mkdir -p "$dir"
"$host" drives create "$dir/drives" --type BDRE >/dev/null
start=$(now)
/usr/bin/time -v -o "$scratch/time.txt" "$host" --drives "$dir/drives" make \
  "$scratch/small.ini" --source "$src" --media BENCH --work "$dir/work" \
  --drive 0 --verify --discs 2 >"$dir/out.txt" 2>&1 || {
  cat "$dir/out.txt" >&2
  exit 1
}
seconds=$(echo "$(now) - $start" | bc)
rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$scratch/time.txt")
printf '100,000 small files, make --verify: %.2f s, peak %.1f MiB (target < 64 MiB) %s\n' \
  "$seconds" "$(echo "scale=1; $rss / 1024" | bc)" \
  "$( ((rss < 65536)) && echo ok || echo MISSED)"

if ((sample)); then
  start=$(now)
  scripts/make-sample.sh "$build" >"$scratch/sample.txt" 2>&1 || {
    cat "$scratch/sample.txt" >&2
    exit 1
  }
  seconds=$(echo "$(now) - $start" | bc)
  printf 'three-disc sample set (scripts/make-sample.sh): %.2f s (target < 20 s) %s\n' \
    "$seconds" "$( (($(echo "$seconds < 20" | bc))) && echo ok || echo MISSED)"
fi
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
