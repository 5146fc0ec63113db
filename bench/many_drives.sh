#!/usr/bin/env bash
# Wall time of making the sample disc set (scripts/make-sample.sh) on one
# virtual drive, against four copies of it made at the same time on four
# virtual drives by one run of the host (--drive 0,1,2,3), both with
# verification. Each run gets fresh drives and its own work folder.
#   bench/many_drives.sh [BUILD_DIR] [COUNT]     (default: build, 4)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
count=${2:-4}
host=$build/bin/tessaline
sample=$build/sample
if [[ ! -x $host || ! -f $sample/layout.ini ]]; then
  echo "no sample set in $sample: run scripts/make-sample.sh $build first" >&2
  exit 1
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Prints the seconds one run of the host takes on N fresh drives.
run() {
  local n=$1 list
  rm -rf "$scratch/drives" "$scratch/work"
  "$host" drives create "$scratch/drives" --count "$n" >/dev/null
  list=$(seq -s, 0 $((n - 1)))
  local start end
  start=$(date +%s%N)
  "$host" --drives "$scratch/drives" make "$sample/layout.ini" \
    --source "$sample/source" --media DVD --work "$scratch/work" \
    --drive "$list" --verify >"$scratch/run-$n.log"
  end=$(date +%s%N)
  local images
  images=$(ls "$scratch"/drives/drive*/ejected/disc-*.img | wc -l)
  if ((images != 3 * n)); then
    echo "expected $((3 * n)) disc images, found $images" >&2
    exit 1
  fi
  echo $(((end - start) / 1000000))
}

one=$(run 1)
many=$(run "$count")
bytes=$(du -scb "$sample/source" | tail -n1 | cut -f1)
echo "sample set: 3 discs, $((bytes / 1000000)) MB of content, with verification"
printf '1 copy  on 1 drive:   %6.2f s\n' "$(bc -l <<<"$one / 1000")"
printf '%d copies on %d drives: %6.2f s  (%.2f x the time for %d x the work)\n' \
  "$count" "$count" "$(bc -l <<<"$many / 1000")" "$(bc -l <<<"$many / $one")" \
  "$count"
