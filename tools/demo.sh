#!/usr/bin/env bash
# Builds the program and runs it once on copies of the bundled examples in a
# scratch folder, as the host would start it: COMMANDER_INI names the copy of
# examples/wincmd.ini, and the save dialog asks on the terminal.
#
#   bash tools/demo.sh            answer the prompt yourself (usercmd.ini)
#   bash tools/demo.sh NAME       answer it with NAME
#   ... </dev/null                not on a terminal: answers usercmd.ini
set -euo pipefail
cd "$(dirname "$0")/.."
repository="$PWD"

# A fresh Debian 12 machine needs a compiler and the build tools.
need=()
for package in cmake ninja-build g++; do
  dpkg -s "$package" >/dev/null 2>&1 || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${need[@]}"
fi

# The program alone: no test or benchmark libraries needed.
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMOOR_BUILD_TESTS=OFF -DQUILLMOOR_BUILD_BENCH=OFF >/dev/null
cmake --build build/demo --target quillmoor -j2 >/dev/null
program="$repository/build/demo/src/conversion/quillmoor"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-demo-XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
cp examples/wincmd.ini examples/usercmd.ini "$scratch/"
cd "$scratch"

echo "== In $scratch: wincmd.ini (the host's settings) and usercmd.ini (its own commands)"
echo "== Running quillmoor with COMMANDER_INI=$scratch/wincmd.ini"
echo
status=0
if [ $# -gt 0 ]; then
  printf '%s\n' "$1" | COMMANDER_INI="$scratch/wincmd.ini" "$program" || status=$?
elif [ -t 0 ]; then
  echo "(Answer the save prompt with usercmd.ini, or press Enter to cancel.)"
  echo
  COMMANDER_INI="$scratch/wincmd.ini" "$program" || status=$?
else
  printf 'usercmd.ini\n' | COMMANDER_INI="$scratch/wincmd.ini" "$program" || status=$?
fi
echo "== Exit status $status"
echo
echo "== usercmd.ini now (CR LF line ends shown as line ends):"
tr -d '\r' <usercmd.ini
