#!/usr/bin/env bash
# Runs the AVX-512 path of tessel~'s bank on an emulated AVX-512 processor,
# for machines that lack the extension: the code-path tests, linked
# statically, are the only program of a Debian kernel booted in Bochs
# (model Skylake-X).  Checks that the bytes are the reference loop's; the
# emulator says nothing of speed.
#
# Work files go to build-avx512/.  Needs root or sudo to install Bochs, a
# boot loader and the kernel's headers (for xsave_on.c), and about four
# minutes of one core for the emulated run.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
here=$root/tests/avx512-emulated
work=$root/build-avx512

if [ "$(uname -m)" != x86_64 ]; then
  echo "avx512-emulated: not an x86-64 machine; there is no AVX-512 path to test"
  exit 0
fi
if grep -qw avx512f /proc/cpuinfo && grep -qw avx512dq /proc/cpuinfo &&
   grep -qw avx512bw /proc/cpuinfo && grep -qw avx512vl /proc/cpuinfo; then
  echo "avx512-emulated: this processor has AVX-512; the suite ran the path natively"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
scripts/install-deps.sh bochs bochs-term bochsbios vgabios isolinux syslinux-common \
  genisoimage cpio
# The kernel of the day and headers of the same version.
kernel=$(apt-cache depends linux-image-amd64 | sed -n 's/^ *Depends: linux-image-//p' | head -n1)
[ -n "$kernel" ] || { echo "avx512-emulated: no linux-image-amd64 in the package lists" >&2; exit 1; }
scripts/install-deps.sh "linux-headers-$kernel"

mkdir -p "$work"
rm -rf "$work/iso" "$work/initrd" "$work/module"
mkdir -p "$work/iso/isolinux" "$work/initrd/proc" "$work/module"

if [ ! -f "$work/vmlinuz-$kernel" ]; then
  (cd "$work" && rm -f linux-image-*.deb && apt-get download -qq "linux-image-$kernel" 2>/dev/null ||
    { $sudo apt-get update -qq && apt-get download -qq "linux-image-$kernel"; })
  dpkg-deb --fsys-tarfile "$work"/linux-image-"$kernel"_*.deb |
    tar -xO "./boot/vmlinuz-$kernel" > "$work/vmlinuz-$kernel.part"
  mv "$work/vmlinuz-$kernel.part" "$work/vmlinuz-$kernel"
  rm -f "$work"/linux-image-*.deb
fi

# The tests, linked statically: the emulated machine has no libraries.
cmake -S . -B "$work/cmake" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAXHOST_WERROR=ON \
  -DCMAKE_EXE_LINKER_FLAGS=-static >/dev/null
# The log is shown only on failure: linked statically, GoogleTest's socket
# code draws a linker warning about getaddrinfo, which the tests never call.
if ! cmake --build "$work/cmake" -j2 --target tessel_paths_tests > "$work/build.log" 2>&1; then
  cat "$work/build.log" >&2
  exit 1
fi
cp "$work/cmake/tests/tessel/tessel_paths_tests" "$work/initrd/"

cp "$here/xsave_on.c" "$work/module/"
echo 'obj-m := xsave_on.o' > "$work/module/Makefile"
make -s -C "/usr/src/linux-headers-$kernel" M="$work/module" modules >/dev/null 2>&1 ||
  make -C "/usr/src/linux-headers-$kernel" M="$work/module" modules
cp "$work/module/xsave_on.ko" "$work/initrd/"

gcc -O2 -Wall -Wextra -Werror -static -o "$work/initrd/init" "$here/init.c"
(cd "$work/initrd" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/iso/initrd.gz"

cp "$work/vmlinuz-$kernel" "$work/iso/vmlinuz"
cp /usr/lib/ISOLINUX/isolinux.bin /usr/lib/syslinux/modules/bios/ldlinux.c32 "$work/iso/isolinux/"
cat > "$work/iso/isolinux/isolinux.cfg" <<'CFG'
DEFAULT tests
PROMPT 0
LABEL tests
  KERNEL /vmlinuz
  APPEND initrd=/initrd.gz console=ttyS0,115200 loglevel=4 mitigations=off tsc=reliable
CFG
genisoimage -quiet -o "$work/boot.iso" -b isolinux/isolinux.bin -c isolinux/boot.cat \
  -no-emul-boot -boot-load-size 4 -boot-info-table -R -J "$work/iso"

# Bochs is built with its debugger, which waits for a command at the
# first instruction ("c": continue), and its terminal display wants a
# terminal, which script(1) gives it.
cp "$here/bochsrc" "$work/bochsrc"
printf 'c\n' > "$work/bochs-commands"
rm -f "$work/serial.log" "$work/bochs.log"
echo "avx512-emulated: booting the emulated machine (Linux $kernel, Bochs corei7_skylake_x)"
(cd "$work" && TERM=xterm timeout -k 10 600 script -qfc "bochs -q -f bochsrc -rc bochs-commands" \
  /dev/null > bochs.out 2>&1 < /dev/null) || true

serial=$work/serial.log
[ -f "$serial" ] || { echo "avx512-emulated: the emulator wrote no console output" >&2; exit 1; }
tr -d '\r' < "$serial" | sed -n '/^init:/,$p'
ran=$(grep -c '^\[       OK \] Each/TesselPaths\..*/avx512' "$serial" || true)
if grep -q '^init: tests exit status 0' "$serial" && [ "$ran" -eq 3 ]; then
  echo "avx512-emulated: the AVX-512 path matched the reference loop on an emulated AVX-512 processor"
  exit 0
fi
echo "avx512-emulated: FAILED (AVX-512 tests passed: $ran of 3); see $work/serial.log and $work/bochs.log" >&2
exit 1
