#!/usr/bin/env bash
# Builds both targets and runs every test: the Linux library natively (also
# under AddressSanitizer and UndefinedBehaviorSanitizer), the Windows DLL
# under Wine; then the release (./release.sh: two clean builds of the DLL
# compared byte for byte, the zip, and the zip's own checks). Safe to run
# again; quick when nothing changed.
set -euo pipefail
export PORRESKU_ROOT="$(cd "$(dirname "$0")" && pwd)"
cd "$PORRESKU_ROOT"

scripts/setup.sh

configure() { [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1" >/dev/null; }
jobs=$(nproc)
summary=()
run_ctest() {
  local log="build/$1-ctest.log" status=0
  ctest --preset "$1" -j "$jobs" 2>&1 | tee "$log" || status=1
  summary+=("$1: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
  return $status
}

failed=0
for preset in linux linux-sanitize windows; do
  configure "$preset"
  cmake --build --preset "$preset" -j "$jobs"
done

echo "== Linux (native) =="
run_ctest linux || failed=1

echo "== Linux under AddressSanitizer and UndefinedBehaviorSanitizer =="
run_ctest linux-sanitize || failed=1

echo "== Windows (under Wine) =="
source scripts/wine-env.sh
trap wine_stop EXIT
run_ctest windows || failed=1

echo "== Release: the DLL built twice and compared, the zip written, unpacked and tested (./release.sh) =="
release_result="release: the zip written and checked (dist/)"
if ! ./release.sh; then
  release_result="release: FAILED"
  failed=1
fi

echo "== Fuzzing: every corpus replayed, then each harness 10 s (scripts/fuzz.sh fuzzes longer) =="
if ! scripts/fuzz.sh 10; then
  echo "fuzz: a harness crashed or a committed input failed (inputs in build/fuzz/findings/)"
  failed=1
fi

echo
printf '%s\n' "${summary[@]}" "$release_result"
passed=0 total=0
for line in "${summary[@]}"; do
  read -r p t < <(sed -n 's/.*[^0-9]\([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\).*/\1 \2/p' <<<"$line" |
                  awk '{print $2-$1, $2}')
  passed=$((passed + ${p:-0})) total=$((total + ${t:-0}))
done
echo "$passed passed, $((total - passed)) failed"
exit $failed
