#!/usr/bin/env bash
# The libburn backend on a real device under a real kernel: boots Debian's
# Linux kernel under qemu with an emulated IDE CD/DVD drive holding disc 1
# of a set the library made, and runs the command-line host inside the
# guest against /dev/sr0: the recorder list, the medium, the door lock (an
# eject from outside refused while it holds), the eject, and the read-back
# verification of the disc against its image and against a changed image.
#
# Usage: libburn_drive_check.sh TESSALINE READBACK_PROBE EJECT_REQUEST
# (EJECT_REQUEST sends the kernel a plain eject, as busybox's eject does;
# util-linux's eject unlocks the door first, and Debian's static busybox
# has no eject.)
# Exit status 0 when every check holds, 1 when one fails, 77 (skipped) when
# qemu, busybox or the kernel package cannot be had. The kernel package is
# kept in TESSALINE_KERNEL_CACHE (default: a folder in the system's
# temporary folder).
set -u
host=$1 probe=$2 eject_request=$3
skip() { echo "SKIPPED: $*"; exit 77; }
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed"
busybox=$(command -v busybox || true)
[ -n "$busybox" ] || skip "busybox is not installed (busybox-static)"
ldd "$busybox" >/dev/null 2>&1 && skip "busybox is not statically linked (busybox-static)"

cache=${TESSALINE_KERNEL_CACHE:-${TMPDIR:-/tmp}/tessaline-kernel-cache}
mkdir -p "$cache"
if ! ls "$cache"/vmlinuz-* >/dev/null 2>&1; then
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: //p' | head -n1)
  [ -n "$package" ] || skip "no kernel package known to apt"
  (cd "$cache" && apt-get download "$package" >/dev/null 2>&1) || skip "cannot download $package"
  rm -rf "$cache/root" && mkdir -p "$cache/root"
  dpkg -x "$cache"/linux-image-*.deb "$cache/root" && rm -f "$cache"/linux-image-*.deb
  cp "$cache"/root/boot/vmlinuz-* "$cache/"
fi
kernel=$(ls "$cache"/vmlinuz-* | head -n1)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

# Disc 1 of a small set, made by the library on a virtual drive.
mkdir -p "$work/source/boot" "$work/source/sources" "$work/source/kiro" "$work/build"
head -c 2048 /dev/zero | tr '\0' '\220' > "$work/source/boot/etfsboot.com"
head -c 3000000 /dev/urandom > "$work/source/sources/install.wim"
echo '<plugins/>' > "$work/source/kiro/plugins.xml"
echo '<plugins disc="dvd"/>' > "$work/source/kiro/pluginsDVD.xml"
printf '[MEDIA:RECOVERY]\r\nRECOVERY1=boot,sources,kiro\r\n[SIZE:RECOVERY]\r\nRECOVERY1=4000000\r\n' \
  > "$work/layout.ini"
"$host" drives create "$work/drives" >/dev/null || fail "cannot create a virtual drive"
"$host" --drives "$work/drives" make "$work/layout.ini" --source "$work/source" \
  --media RECOVERY --work "$work/build" --drive 0 </dev/null >"$work/make.log" 2>&1 \
  || { cat "$work/make.log"; fail "the library did not make disc 1"; }
disc=$(ls "$work"/drives/*/ejected/disc-001.img 2>/dev/null | head -n1)
[ -f "$disc" ] || fail "disc 1 was not ejected by the virtual drive"

# The guest: busybox, the kernel's CD-ROM and ATA modules, the host program
# and the probe with every library they load, at the paths they load from.
root=$work/initrd
mkdir -p "$root"/{bin,mods,proc,sys,dev,tmp,images/good,images/changed}
cp "$busybox" "$root/bin/busybox"
for m in scsi_common scsi_mod libata ata_piix cdrom sr_mod; do
  found=$(find "$cache/root/lib/modules" -name "$m.ko*" | head -n1)
  [ -n "$found" ] || fail "kernel module $m missing from the kernel package"
  cp "$found" "$root/mods/"
done
copy_with_libraries() {
  mkdir -p "$root$(dirname "$1")" && cp -L "$1" "$root$1"
  for lib in $(ldd "$1" | grep -o '/[^ ]*'); do
    [ -e "$root$lib" ] || { mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib"; }
  done
}
copy_with_libraries "$(readlink -f "$host")"
copy_with_libraries "$(readlink -f "$eject_request")"
copy_with_libraries "$(readlink -f "$probe")"
for lib in $(ldd "$host" | grep -o '/[^ ]*libtessaline[^ ]*'); do copy_with_libraries "$lib"; done
ln -s "$(readlink -f "$host")" "$root/bin/tessaline"
ln -s "$(readlink -f "$probe")" "$root/bin/readback_probe"
ln -s "$(readlink -f "$eject_request")" "$root/bin/eject_request"
cp "$disc" "$root/images/good/boot.iso"
cp "$disc" "$root/images/changed/boot.iso"
# One byte changed in the second chunk of 1000 sectors.
printf 'X' | dd of="$root/images/changed/boot.iso" bs=1 seek=$((2048000 + 77)) conv=notrunc 2>/dev/null
cat > "$root/init" <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in scsi_common scsi_mod libata ata_piix cdrom sr_mod; do insmod /mods/$m.ko* 2>/dev/null; done
i=0; while [ ! -b /dev/sr0 ] && [ $i -lt 50 ]; do sleep 0.2; i=$((i+1)); done
export TMPDIR=/tmp HOME=/tmp
echo "=== GUEST BEGIN"
echo "--- recorders"; tessaline recorders
echo "--- media"; tessaline media 0
echo "--- lock on"; tessaline lock 0 on; echo "status $?"
echo "--- eject while locked"; eject_request /dev/sr0; echo "eject status $?"
echo "--- lock off"; tessaline lock 0 off; echo "status $?"
echo "--- read-back good"; readback_probe /images/good 0
echo "--- read-back changed"; readback_probe /images/changed 0
echo "--- eject"; tessaline eject 0; echo "status $?"
echo "--- media after eject"; tessaline media 0
echo "=== GUEST END"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1 > "$work/initrd.gz")

timeout 600 qemu-system-x86_64 -m 1024 -nographic -no-reboot -kernel "$kernel" \
  -initrd "$work/initrd.gz" -append "console=ttyS0 quiet" \
  -drive file="$disc",media=cdrom,readonly=on,if=ide 2>&1 | tr -d '\r' \
  | sed -n '/=== GUEST BEGIN/,/=== GUEST END/p' > "$work/guest.log"
cat "$work/guest.log"
section() { sed -n "/^--- $1\$/,/^---/p" "$work/guest.log"; }

status=0
check() { if eval "$2"; then echo "ok: $1"; else echo "NOT OK: $1"; status=1; fi; }
check "the guest ran" "grep -q '=== GUEST END' '$work/guest.log'"
check "recorders lists the drive with vendor and product" \
  "section recorders | grep -q 'QEMU.*QEMU DVD-ROM'"
check "media reports the read-only medium" \
  "section media | grep -Eq ': (CDROM|DVDROM), not blank'"
check "lock on reaches the drive" "section 'lock on' | grep -q 'status 0'"
check "an eject from outside is refused while locked" \
  "section 'eject while locked' | grep -Eq 'eject status [1-9]'"
check "lock off releases the drive" "section 'lock off' | grep -q 'status 0'"
check "the read-back of disc 1 passes" "section 'read-back good' | grep -q 'read-back passed'"
check "a changed image fails with verify error(2)" \
  "section 'read-back changed' | grep -q 'verify error(2).*chunk 2'"
check "eject ejects" "section eject | grep -q 'status 0' && section 'media after eject' | grep -q 'no medium'"
exit $status
