#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FWUP_FUZZ_SECONDS, 15 by default), seeded from tests/fuzz/corpus and the
# embedded image. Prints each target's execution count.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FWUP_FUZZ_SECONDS:-15}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build/fuzz/corpus
image=resources/firmware-stand-in.bin
run_target() {  # target, committed seed folder, extra seeds
  local target=$1 seeds=$2
  shift 2
  mkdir -p "$work/$target"
  cp tests/fuzz/corpus/"$seeds"/* "$work/$target"/
  [ $# -eq 0 ] || cp "$@" "$work/$target"/
  echo "== $target: ${seconds} s"
  "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
    "$work/$target" 2>"build/fuzz/$target.log" || { tail -n 40 "build/fuzz/$target.log"; return 1; }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build/fuzz/$target.log"
}

printf '\0\0' | cat - "$image" > build/fuzz/embedded-download.seed
run_target fuzz_image_walk image_walk "$image"
run_target fuzz_download download build/fuzz/embedded-download.seed
run_target fuzz_clear clear
