#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer,
# straight from the sources they test, into build/fuzz/ (or the folder given).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/fuzz}
cxx=${CXX_FUZZ:-clang++}
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root")
library=()
for source in image/command_line.cpp image/file_names.cpp image/path_text.cpp image/mot_record.cpp \
              image/mot_text_reader.cpp image/mot_convert.cpp image/file_replacement.cpp \
              platform/system_table.cpp platform/native_posix.cpp "$root"/platform/posix_*.cpp; do
  library+=("$root/${source#"$root"/}")
done
for target in mot_convert_fuzz command_line_fuzz; do
  "$cxx" "${flags[@]}" "$root/tools/fuzz/$target.cpp" "${library[@]}" -lpthread -o "$out/$target"
done
# The iSCSI target needs only the simulated unit and itself.
"$cxx" "${flags[@]}" "$root/tools/fuzz/iscsi_target_fuzz.cpp" "$root"/sim/iscsi/*.cpp "$root"/sim/unit/*.cpp \
  -o "$out/iscsi_target_fuzz"
