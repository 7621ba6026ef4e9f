#!/usr/bin/env bash
# Builds the libFuzzer harnesses (preset fuzz), replays each harness's
# committed corpus, then fuzzes each on a scratch copy of it.
#
#   scripts/fuzz.sh [SECONDS] [--merge] [HARNESS...]
#
# SECONDS per harness, 300 when not given. --merge adds the inputs that
# reach new code to the committed corpora (fuzz/corpus/<harness>/); without
# it they stay in build/fuzz/work/. Crashing inputs go to
# build/fuzz/findings/<harness>/; the exit code is 1 when any harness crashed.
# One process per harness, one after another: the machine stays usable.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

seconds=300 merge=0 harnesses=()
for arg in "$@"; do
  case "$arg" in
    --merge) merge=1 ;;
    [0-9]*) seconds="$arg" ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) harnesses+=("$arg") ;;
  esac
done
[ ${#harnesses[@]} -gt 0 ] || harnesses=(log_reader date_reply goodbye_menu channel_user log_tool)

[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
# The harnesses' working folders (each holds a log): a crashed run leaves its own here.
export TMPDIR="$root/build/fuzz/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"

failed=0
for harness in "${harnesses[@]}"; do
  program="$root/build/fuzz/fuzz/fuzz_$harness"
  corpus="$root/fuzz/corpus/$harness"
  work="$root/build/fuzz/work/$harness"
  findings="$root/build/fuzz/findings/$harness/"
  log="$root/build/fuzz/work/$harness.log"
  options=(-artifact_prefix="$findings" -print_final_stats=1)
  [ -f "$root/fuzz/$harness.dict" ] && options+=(-dict="$root/fuzz/$harness.dict")
  mkdir -p "$work" "$findings"
  rm -rf "$work/corpus"
  cp -r "$corpus" "$work/corpus"

  # Every committed input first: a crash among them is a regression.
  if ! "$program" "${options[@]}" -runs=0 "$corpus" >"$log" 2>&1; then
    echo "fuzz_$harness: FAILED replaying fuzz/corpus/$harness (log: $log)"
    grep -E 'invariant failed|ERROR|SUMMARY|Test unit written' "$log" | head -n 8 || true
    failed=1
    continue
  fi
  replayed=$(find "$corpus" -type f | wc -l)

  # New inputs go to the scratch copy, never to the committed corpus.
  if "$program" "${options[@]}" -max_total_time="$seconds" "$work/corpus" >>"$log" 2>&1; then
    result="no crash"
  else
    result="CRASH (log: $log)"
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "fuzz_$harness: $replayed inputs replayed, ${seconds} s fuzzed, ${runs:-?} executions, $result"
  if [ "$result" != "no crash" ]; then
    grep -E 'invariant failed|ERROR|SUMMARY|Test unit written' "$log" | head -n 8 || true
  elif [ "$merge" -eq 1 ]; then
    before=$(find "$corpus" -type f | wc -l)
    "$program" "${options[@]}" -merge=1 "$corpus" "$work/corpus" >>"$log" 2>&1
    echo "fuzz_$harness: $(( $(find "$corpus" -type f | wc -l) - before )) inputs added to fuzz/corpus/$harness"
  fi
done
exit $failed
