#!/usr/bin/env bash
# Benchmarks of the board's load, listing and posting, and of the sysop's
# tool (porresku-log check, list, export), on generated logs of
# 1, 10 and 100 MB, each beside the machine's own limit measured in the same
# run on the same file; ends with a table of medians, ratios and goals.
# Not part of ./test.sh. Extra arguments go to Google Benchmark, e.g.
#   ./bench.sh --benchmark_repetitions=15
#   ./bench.sh --benchmark_filter='/100MB'
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh

[ -f build/linux/CMakeCache.txt ] || cmake --preset linux >/dev/null
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' build/linux/CMakeCache.txt)
case "$build_type" in
  Release | RelWithDebInfo) ;;
  *) echo "bench: build/linux is a '$build_type' build; timings need Release or RelWithDebInfo" >&2; exit 1 ;;
esac
cmake --build --preset linux -j "$(nproc)" --target porresku_bench porresku_loggen porresku_loadpeak porresku-log >/dev/null

bin=build/linux/bin
logs=build/bench-logs
seed=1
for size in 1 10 100; do
  folder="$logs/${size}MB"
  made="seed $seed size ${size}M"
  # Kept between runs; made again when the seed or the generator changed.
  if [ ! -f "$folder/porresku.log" ] || [ "$(cat "$folder/made-with" 2>/dev/null)" != "$made" ] ||
     [ "$bin/porresku_loggen" -nt "$folder/porresku.log" ]; then
    mkdir -p "$folder"
    "$bin/porresku_loggen" --seed "$seed" --size "${size}M" --out "$folder/porresku.log"
    echo "$made" >"$folder/made-with"
  fi
done

"$bin/porresku_bench" --logs "$logs" --benchmark_out="$logs/results.json" --benchmark_out_format=json "$@"
