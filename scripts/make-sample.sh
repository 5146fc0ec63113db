#!/usr/bin/env bash
# The whole job on a fresh machine: installs what is missing, builds, makes a
# sample recovery content folder and its layout file (three discs), creates
# a virtual drive, makes the disc set on it with verification, and checks the
# disc images with tools that are not ours.
#   scripts/make-sample.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
scripts/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tessaline_cli oscdimg

sample=$build/sample
rm -rf "$sample"
mkdir -p "$sample"
sample=$(realpath "$sample")
source_dir=$sample/source
host=$(realpath "$build/bin/tessaline")

echo "== sample recovery content in $source_dir"

# The boot sector file: a real no-emulation boot program. It prints one line
# on the screen (BIOS teletype) and on the first serial port, then halts:
#   ljmp 07C0:0005; set up stack and data segment; program COM1 for
#   115200 8N1; for each byte of the message: int 10h/AH=0Eh, wait for the
#   transmitter, out to 3F8h; cli; hlt.
boot_line='TESSALINE SAMPLE DISC 1 BOOTED'
write_boot_sector() {
  {
    printf '\xea\x05\x00\xc0\x07\xfa\x31\xc0\x8e\xd0\xbc\x00\x7c\x8c\xc8\x8e'
    printf '\xd8\xfb\xfc\xba\xfb\x03\xb0\x80\xee\xba\xf8\x03\xb0\x01\xee\x42'
    printf '\x30\xc0\xee\xba\xfb\x03\xb0\x03\xee\xbe\x4e\x00\xac\x84\xc0\x74'
    printf '\x19\x88\xc1\xb4\x0e\xbb\x07\x00\xcd\x10\xba\xfd\x03\xec\xa8\x20'
    printf '\x74\xfb\xba\xf8\x03\x88\xc8\xee\xeb\xe2\xfa\xf4\xeb\xfc'
    printf '%s\r\n\x00' "$boot_line"
  } >"$1.part"
  # One CD sector, as the boot sector files of the Windows tools come.
  head -c 2048 /dev/zero >>"$1.part"
  head -c 2048 "$1.part" >"$1"
  rm "$1.part"
}

# Files of a few hundred bytes to a few kilobytes, in nested folders, with
# names in several scripts.
write_small_files() {
  local root=$1 count=$2 i dir
  local names=("Übersicht" "café crème" "日本語のファイル" "Ελληνικά" "Русский текст"
               "naïve résumé" "한국어" "עברית" "Ünïcödé ñame")
  # All folders in one call: a process per file made this step the slowest.
  mkdir -p "$root"/folder-{0..11}/sub-{0..4}
  for ((i = 0; i < count; i++)); do
    dir=$root/folder-$((i % 12))/sub-$((i % 5))
    if ((i % 10 == 0)); then
      printf 'file %d of %s\n' "$i" "$root" >"$dir/${names[i % ${#names[@]}]} $i.txt"
    else
      printf 'file %d of %s\n%*s\n' "$i" "$root" $((i * 7 % 3000)) "" >"$dir/file-$i.dat"
    fi
  done
  printf 'a name longer than sixty-four characters, as Joliet would cut it\n' \
    >"$root/a file name that is longer than sixty-four characters to test long names.txt"
}

mkdir -p "$source_dir/boot" "$source_dir/sources/boot" "$source_dir/kiro"
write_boot_sector "$source_dir/boot/etfsboot.com"
printf 'boot configuration of the sample\n' >"$source_dir/boot/bcd"
printf 'boot configuration from sources\n' >"$source_dir/sources/boot/bcd"
head -c 65536 /dev/urandom >"$source_dir/sources/boot/boot.sdi"
head -c 1048576 /dev/urandom >"$source_dir/sources/install.wim"
printf '<plugins media="hdd"/>\n' >"$source_dir/kiro/plugins.xml"
printf '<plugins media="dvd"/>\n' >"$source_dir/kiro/pluginsDVD.xml"

write_small_files "$source_dir/data2" 300
head -c $((40 * 1024 * 1024)) /dev/urandom >"$source_dir/data2/recovery-image.bin"
write_small_files "$source_dir/data3" 250
head -c $((24 * 1024 * 1024)) /dev/urandom >"$source_dir/data3/drivers.pack"

size_of() { (cd "$source_dir" && du -scb "$@" | tail -n1 | cut -f1); }
layout=$sample/layout.ini
cat >"$layout" <<EOF
[MEDIA:DVD]
DVD1=boot,sources,kiro
DVD2=data2
DVD3=data3

[SIZE:DVD]
DVD1=$(size_of boot sources kiro)
DVD2=$(size_of data2)
DVD3=$(size_of data3)
EOF
echo "layout file $layout:"
cat "$layout"

echo "== virtual drive"
"$host" drives create "$sample/drives" --type DVDPLUSRW
drive=$sample/drives/drive0

echo "== the disc plan"
"$host" --drives "$sample/drives" plan "$layout" --media DVD \
  --work "$sample/work"

echo "== making the disc set"
"$host" --drives "$sample/drives" make "$layout" --source "$source_dir" \
  --media DVD --work "$sample/work" --drive 0 --verify

echo "== the disc images"
ls -l "$drive/ejected"
for n in 1 2 3; do
  [[ -f $drive/ejected/disc-00$n.img ]] || {
    echo "disc image $n missing" >&2
    exit 1
  }
done

echo "== disc 1: El Torito boot record (xorriso)"
xorriso -indev "$drive/ejected/disc-001.img" -report_el_torito plain 2>/dev/null
xorriso -indev "$drive/ejected/disc-001.img" -report_el_torito plain 2>/dev/null |
  grep -q '^El Torito boot img .* none ' || {
  echo "disc 1 has no no-emulation boot image" >&2
  exit 1
}

for n in 2 3; do
  echo "== disc $n: listing (7zz), first entries and totals"
  listing=$sample/disc-00$n.list
  7zz l "$drive/ejected/disc-00$n.img" >"$listing"
  sed -n '/^-------------------/,$p' "$listing" | sed -n '2,13p'
  echo "   ..."
  tail -n 1 "$listing"
  grep -q 'DVD'"$n"'$' "$listing" || {
    echo "disc $n lacks its disc marker" >&2
    exit 1
  }
done

if command -v qemu-system-x86_64 >/dev/null; then
  echo "== disc 1 booted in an emulated PC (its serial port)"
  bench/boot_disc_qemu.sh "$drive/ejected/disc-001.img" "$boot_line"
fi

echo
echo "The disc images are in $drive/ejected; boot disc 1 in an emulated PC"
echo "with bench/boot_disc_qemu.sh $drive/ejected/disc-001.img"
