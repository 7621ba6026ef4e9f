#!/usr/bin/env bash
# Runs rows of bad_input.tsv: the host, given a bad plug-in, member file,
# option or command, must exit with the row's status and exactly the row's
# one line of error output.
#
#   bad_input.sh TABLE ROW|all INCOMPLETE_LIBRARY -- HOST_COMMAND...
set -euo pipefail

table=$1 wanted=$2 incomplete=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
shift 3
[ "${1:-}" = -- ] && shift
host=("$@")
here=$(cd "$(dirname "$0")" && pwd)

# The next TAB-separated field of $rest into $field (empty fields count).
next_field() {
  field=${rest%%$'\t'*}
  if [ "$field" = "$rest" ]; then rest=""; else rest=${rest#*$'\t'}; fi
}

# Exact, except that a trailing "*" matches whatever follows.
matches() {
  local line=$1 pattern=$2
  if [ "${pattern%\*}" != "$pattern" ]; then
    [ "${line:0:${#pattern}-1}" = "${pattern%\*}" ]
  else
    [ "$line" = "$pattern" ]
  fi
}

run_row() {
  local name=$1 options=$2 members=$3 input=$4 status=$5 expected=$6
  local work actual=0
  work=$(mktemp -d "${TMPDIR:-/tmp}/porresku-bad-input.XXXXXX")
  if [ "$members" = - ]; then
    cp "$here/members.txt" "$work/members.txt"
  else
    printf '%b' "$members" >"$work/members.txt"
  fi
  cp "$incomplete" "$work/incomplete.plugin"
  # shellcheck disable=SC2086  # the options are words
  (cd "$work" && printf '%b' "$input" | "${host[@]}" --dir . --members members.txt $options \
     >"$work/out" 2>"$work/err") || actual=$?
  local lines error
  lines=$(wc -l <"$work/err")
  error=$(head -n 1 "$work/err")
  local ok=1
  [ "$actual" = "$status" ] || ok=0
  [ "$lines" = 1 ] || ok=0
  matches "$error" "$expected" || ok=0
  if [ $ok = 1 ]; then
    echo "OK: $name"
  else
    echo "FAIL: $name"
    echo "  expected exit $status and the one line: $expected"
    echo "  got exit $actual and $lines line(s):"
    sed 's/^/    /' "$work/err"
  fi
  rm -rf "$work"
  [ $ok = 1 ]
}

failed=0 found=0
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in '#'* | '') continue ;; esac
  rest=$line
  next_field; name=$field
  [ "$wanted" = all ] || [ "$wanted" = "$name" ] || continue
  found=1
  next_field; options=$field
  next_field; members=$field
  next_field; input=$field
  next_field; status=$field
  next_field; expected=$field
  run_row "$name" "$options" "$members" "$input" "$status" "$expected" || failed=1
done <"$table"

if [ $found = 0 ]; then
  echo "no row named $wanted in $table"
  exit 1
fi
exit $failed
