#!/usr/bin/env bash
# Boots a boot disc image (disc 1 of a set) in an emulated PC and prints what
# its boot program writes to the first serial port. With the sample set of
# scripts/make-sample.sh the line is "TESSALINE SAMPLE DISC 1 BOOTED".
#   bench/boot_disc_qemu.sh IMAGE [EXPECTED_LINE] [SECONDS]
# Exit status 0 when the expected line came within the time (default 60 s).
set -euo pipefail

image=${1:?usage: bench/boot_disc_qemu.sh IMAGE [EXPECTED_LINE] [SECONDS]}
expected=${2:-TESSALINE SAMPLE DISC 1 BOOTED}
seconds=${3:-60}

if ! command -v qemu-system-x86_64 >/dev/null; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "qemu-system-x86_64 missing (as root this script installs it)" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-system-x86 >/dev/null
fi

serial=$(mktemp)
messages=$(mktemp)
trap 'rm -f "$serial" "$messages"' EXIT
start=$(date +%s%N)
# The program halts after its line; qemu runs until the time-out ends it,
# or until the line is there.
qemu-system-x86_64 -m 64 -display none -no-reboot -boot d \
  -drive file="$image",media=cdrom,readonly=on,if=ide \
  -serial file:"$serial" -monitor none 2>"$messages" &
qemu=$!
found=0
deadline=$(($(date +%s) + seconds))
while (($(date +%s) < deadline)) && kill -0 "$qemu" 2>/dev/null; do
  if grep -qF "$expected" "$serial"; then
    found=1
    break
  fi
  sleep 0.2
done
kill "$qemu" 2>/dev/null || true
wait "$qemu" 2>/dev/null || true
elapsed_ms=$((($(date +%s%N) - start) / 1000000))

echo "serial port:"
tr -d '\r' <"$serial" | sed 's/^/  /'
if ((found)); then
  printf 'booted: "%s" after %d.%03d s\n' "$expected" \
    $((elapsed_ms / 1000)) $((elapsed_ms % 1000))
  exit 0
fi
grep -v 'terminating on signal' "$messages" >&2 || true
echo "the line \"$expected\" did not come within $seconds s" >&2
exit 1
