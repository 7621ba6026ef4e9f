#!/usr/bin/env bash
# Writes the release a sysop installs, dist/Porresku-<version>-win32.zip, and
# tests it. Installs what it needs first; safe to run again.
#
#   ./release.sh
#
# 1. Builds Porresku.dll and porresku-log.exe twice from scratch (preset
#    windows-dll) in two folders of different names and stops unless each
#    pair is byte-identical: no link time stamp, no build path, no date in it.
# 2. Checks both against the Windows XP floor (tests/check_xp_floor.sh) and
#    the DLL's export table (tests/check_exports.sh).
# 3. Makes the Japanese guide (Shift-JIS, CR LF) from docs/README-ja.txt
#    (UTF-8, the version filled in) and stops unless it converts back to the
#    same text.
# 4. Writes the zip (entries in a fixed order, times set to the commit's) and
#    SHA256SUMS inside it.
# 5. Unpacks the zip and checks it: the file list, SHA256SUMS, the guide's
#    encoding and line ends, both floors, the ABI tests under Wine against
#    the DLL from the zip (built by the windows preset), and the zip's
#    porresku-log.exe under Wine on a clean log and on one with a Ctrl-Z.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
export PORRESKU_ROOT="$root"
cd "$root"

# What the zip holds, in this order; SHA256SUMS follows, over all of them.
# To ship another file, add its name here and say in stage() where it comes from.
release_files=(Porresku.dll porresku-log.exe README-ja.txt README.md LICENSE)

guide_source=docs/README-ja.txt
work=build/release
jobs=$(nproc)

say() { echo "release: $*"; }
die() { echo "release: FAILED: $*" >&2; exit 1; }

scripts/setup.sh

# ---- 1. two clean builds ----------------------------------------------------
builds=("$work/build-one" "$work/second-build")
for dir in "${builds[@]}"; do
  say "building Porresku.dll and porresku-log.exe from scratch in $dir"
  rm -rf "$dir"
  mkdir -p "$work"
  cmake -S . -B "$dir" --preset windows-dll >"$dir.log" 2>&1 &&
    cmake --build "$dir" -j "$jobs" >>"$dir.log" 2>&1 || { cat "$dir.log" >&2; die "the build in $dir failed"; }
done
dll="${builds[0]}/bin/Porresku.dll"
tool="${builds[0]}/bin/porresku-log.exe"
for name in Porresku.dll porresku-log.exe; do
  built="${builds[0]}/bin/$name"
  cmp "$built" "${builds[1]}/bin/$name" ||
    die "two builds of the same sources differ: $built and ${builds[1]}/bin/$name"
  grep -q $'^Time/Date\t*Thu Jan  1 00:00:00 1970$' <<<"$(i686-w64-mingw32-objdump -p "$built")" ||
    die "$name carries a link time stamp"
  say "reproducible: the two builds of $name are byte-identical ($(sha256sum "$built" | cut -c1-16)...)"
done
version=$(sed -n 's/^#define PORRESKU_VERSION_TEXT "\(.*\)"$/\1/p' "${builds[0]}/generated/Porreskusys/Version.h")
[ -n "$version" ] || die "no version in ${builds[0]}/generated/Porreskusys/Version.h"

# ---- 2. the floor and the DLL's exports --------------------------------------
for built in "$dll" "$tool"; do
  floor_log="$work/xp_floor-$(basename "$built").log"
  tests/check_xp_floor.sh "$built" >"$floor_log" || { cat "$floor_log" >&2; die "XP floor: $built"; }
  say "$(basename "$built"): $(tail -n 1 "$floor_log")"
done
tests/check_exports.sh windows "$dll" >"$work/exports.log" || { cat "$work/exports.log" >&2; die "export table"; }

# ---- 3 and 4. the zip -------------------------------------------------------
# The guide for Notepad on Japanese Windows: Shift-JIS (CP932), CR LF, no BOM,
# with the version filled in.
make_guide() {
  local text
  text=$(sed "s/@PORRESKU_VERSION@/$version/g" "$guide_source")
  ! grep -q '@[A-Z][A-Z_]*@' <<<"$text" || die "$guide_source has a placeholder release.sh does not fill"
  printf '%s\n' "$text" | iconv -f UTF-8 -t CP932 | sed 's/$/\r/' >"$1" ||
    die "$guide_source does not convert to CP932"
  # glibc maps some look-alikes silently (e.g. U+301C to the CP932 wave dash):
  # the text must come back exactly.
  iconv -f CP932 -t UTF-8 "$1" | tr -d '\r' | cmp -s - <(printf '%s\n' "$text") ||
    die "$guide_source does not come back unchanged from CP932 (a character CP932 lacks or maps to another?)"
}

stage() {  # stage NAME FOLDER
  case "$1" in
    Porresku.dll) cp "$dll" "$2/$1" ;;
    porresku-log.exe) cp "$tool" "$2/$1" ;;
    README-ja.txt) make_guide "$2/$1" ;;
    README.md | LICENSE) cp "$1" "$2/$1" ;;
    *) die "release.sh does not know where $1 comes from" ;;
  esac
}

zip_name="Porresku-$version-win32.zip"
staging="$work/zip"
rm -rf "$staging"
mkdir -p "$staging" dist
for name in "${release_files[@]}"; do stage "$name" "$staging"; done
(cd "$staging" && sha256sum "${release_files[@]}" >SHA256SUMS)

# The same bytes from the same commit: fixed order, fixed permissions, every
# time the commit's (zip stores local time: UTC here), no extra fields.
# (Outside git: 1980-01-01, the earliest time a zip entry can carry.)
stamp=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
(cd "$staging" &&
  chmod 644 "${release_files[@]}" SHA256SUMS &&
  touch -d "@$stamp" "${release_files[@]}" SHA256SUMS &&
  rm -f "$root/dist/$zip_name" &&
  TZ=UTC zip -X -D -q "$root/dist/$zip_name" "${release_files[@]}" SHA256SUMS)
say "wrote dist/$zip_name"

# ---- 5. the zip as a sysop gets it ------------------------------------------
unpacked="$work/unpacked"
rm -rf "$unpacked"
mkdir -p "$unpacked"
unzip -q "dist/$zip_name" -d "$unpacked"

want=$(printf '%s\n' "${release_files[@]}" SHA256SUMS)
got=$(unzip -Z1 "dist/$zip_name")
[ "$got" = "$want" ] || die "the zip holds"$'\n'"$got"$'\n'"instead of"$'\n'"$want"
! LC_ALL=C grep -q '[^ -~]' <<<"$got" || die "a name in the zip is not ASCII (Explorer on Japanese Windows would garble it)"
(cd "$unpacked" && sha256sum --quiet --strict -c SHA256SUMS) || die "SHA256SUMS does not match the files"
[ "$(awk '{print $2}' "$unpacked/SHA256SUMS")" = "$(printf '%s\n' "${release_files[@]}")" ] ||
  die "SHA256SUMS does not list every file"

guide="$unpacked/README-ja.txt"
iconv -f CP932 -t UTF-8 "$guide" >/dev/null || die "README-ja.txt is not Shift-JIS (CP932)"
[ "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" != efbbbf ] || die "README-ja.txt starts with a BOM"
lines=$(tr -cd '\n' <"$guide" | wc -c)
crs=$(tr -cd '\r' <"$guide" | wc -c)
crlfs=$(grep -c $'\r$' "$guide" || true)
[ "$lines" -gt 0 ] && [ "$crs" -eq "$lines" ] && [ "$crlfs" -eq "$lines" ] && [ "$(tail -c 2 "$guide" | od -An -tx1 | tr -d ' ')" = 0d0a ] ||
  die "README-ja.txt has a line end other than CR LF ($lines LF, $crs CR, $crlfs CR LF)"

cmp "$unpacked/Porresku.dll" "$dll" || die "the zip's Porresku.dll is not the one built"
cmp "$unpacked/porresku-log.exe" "$tool" || die "the zip's porresku-log.exe is not the one built"
for name in Porresku.dll porresku-log.exe; do
  tests/check_xp_floor.sh "$unpacked/$name" >/dev/null || die "the zip's $name fails the XP floor"
done
# The version the zip is named after is the one the DLL reports.
LC_ALL=C grep -qF "$(printf 'ぽれすくFor QUARN %s\r\n' "$version" | iconv -f UTF-8 -t CP932)" "$unpacked/Porresku.dll" ||
  die "the DLL's Information text does not name version $version"

# The ABI tests, run beside the zip's DLL: a Windows program finds a DLL it
# loads by name in its own folder first.
say "building the ABI tests (preset windows)"
{ [ -f build/windows/CMakeCache.txt ] || cmake --preset windows; } >"$work/abi-build.log" 2>&1 &&
  cmake --build --preset windows -j "$jobs" --target abi_tests log_holder >>"$work/abi-build.log" 2>&1 ||
  { cat "$work/abi-build.log" >&2; die "the ABI tests did not build"; }
cp build/windows/bin/abi_tests.exe build/windows/bin/log_holder.exe "$unpacked/"
source scripts/wine-env.sh
trap wine_stop EXIT
say "running the ABI tests under Wine against the zip's Porresku.dll"
(cd "$unpacked" && wine abi_tests.exe --gtest_brief=1) >"$work/abi-tests.log" 2>&1 ||
  { cat "$work/abi-tests.log" >&2; die "the ABI tests failed against the zip's DLL"; }
tail -n 1 "$work/abi-tests.log" | tr -d '\r' | sed 's/^/release: ABI tests: /'

# The zip's porresku-log.exe as a sysop first runs it: on a small clean log,
# on one an editor left a Ctrl-Z in, and for its help.
tool_run="$work/tool-run"
rm -rf "$tool_run"
mkdir -p "$tool_run"
printf '%s\r\n' "12/10 09:05 SYSOP" "ぽれすく      >こんにちは" "12/10 09:06 GUEST01" "guest         >hello" |
  iconv -f UTF-8 -t CP932 >"$tool_run/porresku.log"
{ cat "$tool_run/porresku.log"; printf '\032hidden\r\n'; } >"$tool_run/ctrl-z.log"
run_tool() {  # run_tool WANTED-EXIT-STATUS ARGUMENT...: prints the output without CRs
  local want=$1 status=0 out
  shift
  out=$(cd "$tool_run" && wine "$root/$unpacked/porresku-log.exe" "$@" 2>&1 </dev/null) || status=$?
  [ "$status" -eq "$want" ] ||
    die "the zip's porresku-log.exe $* exited with $status, not $want:"$'\n'"$out"
  tr -d '\r' <<<"$out"
}
say "running the zip's porresku-log.exe under Wine"
got=$(run_tool 0 check)
[ "$got" = "clean: 2 postings in 4 lines" ] || die "porresku-log.exe check on a clean log said:"$'\n'"$got"
got=$(run_tool 1 check ctrl-z.log)
grep -qF "a Ctrl-Z at byte 90:" <<<"$got" || die "porresku-log.exe check did not report the Ctrl-Z:"$'\n'"$got"
got=$(run_tool 0 --help)
grep -qF "Usage: porresku-log" <<<"$got" || die "porresku-log.exe --help said:"$'\n'"$got"
say "porresku-log.exe: check (clean, and a Ctrl-Z found), --help: as expected"

echo
say "dist/$zip_name (Porresku $version), checked:"
unzip -l "dist/$zip_name" | sed 's/^/  /'
