#!/usr/bin/env bash
# Runs one Windows program under Wine: wine64 for x86-64 programs; for 32-bit
# programs the 32-bit Wine, which on a machine without 32-bit support runs
# under qemu (see tools/windows-tests.sh). CTest calls this as the emulator.
set -euo pipefail
program=$1
shift
: "${WINEDEBUG:=-all}"
export WINEDEBUG
offset=$(od -An -t u4 -j 60 -N 4 "$program" | tr -d ' ')
machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$program" | tr -d ' ')
if [ "$machine" = 8664 ]; then
  exec /usr/lib/wine/wine64 "$program" "$@"
fi
# qemu's default guest address space collides with the page Wine maps at
# 0x7ffe0000.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xc0000000}
exec /usr/lib/wine/wine "$program" "$@"
