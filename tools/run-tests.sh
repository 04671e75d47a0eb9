#!/usr/bin/env bash
# Installs what the tests need on a fresh Debian 12 machine, builds, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for package in cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev \
    clang libclang-rt-14-dev; do
  dpkg -s "$package" >/dev/null 2>&1 || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"
fi

cmake --preset linux
cmake --build --preset linux
ctest --preset linux

# Every native test again under AddressSanitizer and UndefinedBehaviorSanitizer
# (the crash test with 20 kills instead of 200: it is slow under them).
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan

# Each fuzz target for a minute on its seeds.
bash tools/fuzz.sh 60

# The Windows builds: the product checked and run under Wine, and the same
# sources built for 64-bit Windows with every test under Wine.
bash tools/windows-tests.sh
