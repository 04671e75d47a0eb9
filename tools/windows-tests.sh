#!/usr/bin/env bash
# Builds the Windows programs and runs their tests under Wine on a virtual
# display; installs what it needs on a fresh Debian 12 machine (as root).
#
#   build/windows/quillmoor.exe    the product, 32-bit; its format, imports and
#                                  resources are checked, and two end-to-end
#                                  scenarios run it under 32-bit Wine
#   build/windows64/quillmoor.exe  the same sources for 64-bit Windows: the
#                                  unit tests and every end-to-end scenario
#
# Where the kernel cannot run 32-bit x86 programs, the 32-bit Wine runs under
# qemu (registered here for i386 programs); that is slow, about a minute a
# start. QUILLMOOR_WINE32=0 leaves out the tests that start the 32-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# Wine with its recommended libraries (X rendering, fonts, TLS), as a desktop
# gets it; the rest without.
wine_packages=(wine wine64 wine32:i386)
other_packages=(cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 qemu-user-static
                xvfb xdotool x11-apps imagemagick)
missing() { for package in "$@"; do dpkg -s "$package" >/dev/null 2>&1 || echo "$package"; done; }
need_wine=($(missing "${wine_packages[@]}"))
need_other=($(missing "${other_packages[@]}"))
if [ ${#need_wine[@]} -gt 0 ] || [ ${#need_other[@]} -gt 0 ]; then
  echo "== installing: ${need_wine[*]} ${need_other[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -q
  export DEBIAN_FRONTEND=noninteractive
  [ ${#need_other[@]} -eq 0 ] ||
    apt-get install -y -q --no-install-recommends "${need_other[@]}"
  [ ${#need_wine[@]} -eq 0 ] || apt-get install -y -q "${need_wine[@]}"
fi

# 32-bit programs: natively, or through qemu.
wine32=${QUILLMOOR_WINE32:-1}
if [ "$wine32" = 1 ] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt 2>/dev/null || true
  if [ -e $binfmt/register ] && [ ! -e $binfmt/qemu-i386 ]; then
    # ELF, 32-bit, little-endian, executable or shared object, Intel 386.
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >$binfmt/register 2>/dev/null || true
  fi
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "== WARNING: this machine runs no 32-bit programs; the tests that start the 32-bit Wine are left out"
    wine32=0
  fi
fi

# One X display for the whole run: Wine's services must find it when they
# first start, or later windows never appear.
display=99
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$display
export WINEPREFIX=$root/build/wine WINEDEBUG=-all
# qemu's default guest address space collides with the page that Wine maps
# at 0x7ffe0000 (see tools/wine-run.sh); the 64-bit wineboot starts 32-bit
# programs too.
export QEMU_RESERVED_VA=0xc0000000
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# A lasting wineserver and services, started with their streams away from
# CTest's pipes: otherwise every test waits for them to close.
echo "== Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
# A server left from an earlier run knows another display.
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1
fi
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
# The end-to-end tests read the program's message boxes from Wine's trace of
# these calls.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
  /d 'user32.MessageBoxA;comdlg32.GetOpenFileNameA;comdlg32.GetSaveFileNameA' /f \
  </dev/null >/dev/null 2>&1

echo "== 64-bit test build"
cmake --preset windows64
cmake --build --preset windows64 -j2
ctest --preset windows64

echo "== the product, 32-bit"
cmake --preset windows
cmake --build --preset windows -j2
if [ "$wine32" = 1 ]; then
  # qemu now and then leaves the 32-bit Wine hanging in a dialog (threads
  # waiting on each other); a scenario that then sees no window is run again.
  ctest --preset windows --repeat until-pass:3
else
  ctest --preset windows -LE wine32
fi
ls -l build/windows/quillmoor.exe
