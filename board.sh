#!/usr/bin/env bash
# Starts the board in this terminal: installs what the build needs (once),
# builds the host and the plug-in when needed, and runs the host stand-in
# with the sample members and the log in a working folder. Safe to run again:
# the folder keeps its log and its member file (the host rewrites the copy
# there, never host/members.txt).
#
#   ./board.sh [--windows] [--dir FOLDER] [host options...]
#
#   --windows     the Windows host and Porresku.dll, under Wine
#   --dir FOLDER  the working folder (default: build/board-run)
# Other options go to the host (see host/README.md), e.g. --raw.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
export PORRESKU_ROOT="$root"

preset=linux
dir="$root/build/board-run"
host_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) preset=windows ;;
    --dir)
      [ $# -ge 2 ] || { echo "board.sh: --dir needs a folder" >&2; exit 2; }
      dir=$(realpath -m -- "$2")
      shift ;;
    --dir=*) dir=$(realpath -m -- "${1#--dir=}") ;;
    -h | --help) sed -n '2,13s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) host_args+=("$1") ;;
  esac
  shift
done

cd "$root"
# One line per stage: a first run builds for a minute or two and would
# otherwise look stuck.
say() { echo "board.sh: $*"; }
say "installing: checking the packages the build needs (installs them the first time)"
scripts/setup.sh

# The build's own output only when it fails: the terminal is for the board.
build_log="$root/build/board-build-$preset.log"
mkdir -p "$root/build"
: >"$build_log"
failed() {
  cat "$build_log" >&2
  echo "board.sh: the $preset build failed (log: $build_log)" >&2
  exit 1
}
if [ -f "build/$preset/CMakeCache.txt" ]; then
  say "configuring: build/$preset is configured already"
else
  say "configuring the $preset build in build/$preset"
  cmake --preset "$preset" >>"$build_log" 2>&1 || failed
fi
say "building the host and the plug-in (a minute or two the first time on a slow machine; log: $build_log)"
cmake --build --preset "$preset" --target porresku_host >>"$build_log" 2>&1 || failed

mkdir -p "$dir"
[ -f "$dir/members.txt" ] || cp host/members.txt "$dir/members.txt"
say "starting the board: working folder $dir (porresku.log and members.txt live there)"

if [ "$preset" = linux ]; then
  exec build/linux/bin/porresku_host --dir "$dir" --members "$dir/members.txt" ${host_args[@]+"${host_args[@]}"}
fi

source scripts/wine-env.sh
trap wine_stop EXIT
windir=$(winepath -w "$dir" 2>/dev/null)
status=0
wine build/windows/bin/porresku_host.exe --dir "$windir" --members "$windir\\members.txt" \
  ${host_args[@]+"${host_args[@]}"} || status=$?
exit $status
