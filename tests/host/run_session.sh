#!/usr/bin/env bash
# Replays one recorded session through the built host and plug-in and
# compares the transcript with the case's expected.txt.
#
#   run_session.sh [--update] CASE_DIR -- HOST_COMMAND...
#
# CASE_DIR holds run1.in (run2.in, ...: standard input of successive runs in
# one working folder), optionally members.txt (else tests/host/members.txt)
# and porresku.log.txt (a log to start from, UTF-8 with LF; written as the
# board keeps it: CP932 with CR LF). The transcript is every run's output,
# error output and exit status, then the log and the member lines as they
# are at the end, with the parts that depend on the clock masked.
# --update writes the transcript to expected.txt instead of comparing.
set -euo pipefail

update=0
if [ "${1:-}" = --update ]; then update=1; shift; fi
case_dir=$(cd "$1" && pwd)
shift
[ "${1:-}" = -- ] && shift
host=()
for arg in "$@"; do
  # The runs happen in another folder: a relative path to a file counts from here.
  if [[ $arg == */* && $arg != /* && -e $arg ]]; then arg=$PWD/$arg; fi
  host+=("$arg")
done
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/porresku-host-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -f "$case_dir/members.txt" ]; then
  cp "$case_dir/members.txt" "$work/members.txt"
else
  cp "$here/members.txt" "$work/members.txt"
fi
if [ -f "$case_dir/porresku.log.txt" ]; then
  sed 's/$/\r/' "$case_dir/porresku.log.txt" | iconv -f UTF-8 -t CP932 >"$work/porresku.log"
fi

# The clock shows in stored logins ("2024/04/01 21:30:00"), in the listing's
# title ("12/10 05:24 以降..."; "12/10 以降..." at midnight) and in log
# headers. Only values that fall within the time the runs took are masked:
# those are the clock's, while the fixed ones of the case stay visible. The
# compiler's name differs between the builds.
now() { date '+%Y/%m/%d %H:%M:%S'; }
mask() {
  awk -v lo="$started" -v hi="$ended" '
    function within(value, low, high) {
      return low <= high ? value >= low && value <= high : value >= low || value <= high
    }
    # "MM/DD" alone is a time key at 00:00.
    function key_within(key) {
      if (length(key) == 5) key = key " 00:00"
      return within(key, substr(lo, 6, 11), substr(hi, 6, 11))
    }
    {
      line = $0; out = ""
      while (match(line, /[0-9][0-9][0-9][0-9]\/[0-9][0-9]\/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]/)) {
        stamp = substr(line, RSTART, RLENGTH)
        out = out substr(line, 1, RSTART - 1) (within(stamp, lo, hi) ? "YYYY/MM/DD hh:mm:ss" : stamp)
        line = substr(line, RSTART + RLENGTH)
      }
      line = out line
      # The listing title, and a log header line.
      if (match(line, /^\[[0-9]+\] [0-9][0-9]\/[0-9][0-9]( [0-9][0-9]:[0-9][0-9])? /)) {
        start = index(line, "] ") + 2
        key = substr(line, start, RLENGTH - start)
        if (key_within(key)) line = substr(line, 1, start - 1) "MM/DD hh:mm" substr(line, RLENGTH)
      } else if (match(line, /^[0-9][0-9]\/[0-9][0-9]( [0-9][0-9]:[0-9][0-9])? /)) {
        key = substr(line, 1, RLENGTH - 1)
        if (key_within(key)) line = "MM/DD hh:mm" substr(line, RLENGTH)
      }
      sub(/^\*  +Built with .*/, "*              Built with (compiler)", line)
      print line
    }'
}

actual="$work/transcript.txt"
outputs=()
started=$(now)
for input in "$case_dir"/run*.in; do
  status=0
  (cd "$work" && "${host[@]}" --dir . --members members.txt <"$input" >"$work/out" 2>"$work/err") || status=$?
  n=${#outputs[@]}
  mv "$work/out" "$work/out$n"
  mv "$work/err" "$work/err$n"
  outputs+=("$(basename "$input") $status")
done
ended=$(now)

: >"$actual"
for n in "${!outputs[@]}"; do
  read -r name status <<<"${outputs[$n]}"
  {
    echo "=== $name"
    mask <"$work/out$n"
    if [ -s "$work/err$n" ]; then
      echo "--- error output"
      mask <"$work/err$n"
    fi
    echo "--- exit $status"
  } >>"$actual"
done
{
  echo "=== porresku.log"
  if [ -f "$work/porresku.log" ]; then
    # Every line of the log ends in CR LF; a line that does not shows "<no CR>".
    # A byte that is no CP932 (half a character cut by the board) is left out.
    { iconv -c -f CP932 -t UTF-8 "$work/porresku.log" || true; } | sed -e 's/\r$//;t' -e 's/$/<no CR>/' | mask
  else
    echo "(none)"
  fi
  echo "=== members.txt"
  grep -v -E '^[[:space:]]*(#|$)' "$work/members.txt" | mask || true
} >>"$actual"

if [ $update = 1 ]; then
  cp "$actual" "$case_dir/expected.txt"
  echo "updated $case_dir/expected.txt"
  exit 0
fi
if ! diff -u "$case_dir/expected.txt" "$actual"; then
  echo "FAIL: $(basename "$case_dir"): the transcript differs from expected.txt (diff above: - expected, + actual)"
  exit 1
fi
echo "OK: $(basename "$case_dir")"
