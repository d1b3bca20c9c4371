#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# (the CMake preset "fuzz") into build/fuzz/bin/ and prints that folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_targets -j"${FUZZ_BUILD_JOBS:-$(nproc)}" >&2
echo "$root/build/fuzz/bin"
