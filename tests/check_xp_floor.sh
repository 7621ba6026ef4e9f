#!/usr/bin/env bash
# check_xp_floor.sh FILE: does the DLL or program load on Windows XP SP3
# (NT 5.1)?
# - its PE header asks for no newer Windows (OS and subsystem version 5.1);
# - it imports from KERNEL32, USER32 and msvcrt only; a program
#   (porresku-log.exe) also from SHELL32, for CommandLineToArgvW. The DLL
#   must not: SHELL32 is not the host's to load for a plug-in;
# - every KERNEL32/USER32/SHELL32 function it imports is declared by the
#   Windows headers for _WIN32_WINNT 0x0501: a C file takes each one's address
#   and is compiled with implicit declarations as errors, so a function that
#   came with Vista or later (GetTickCount64, ...) fails to compile and is
#   named;
# - every msvcrt function it imports is one that Visual C++ 7.0's runtime
#   (msvcr70.dll) exports. Windows XP's msvcrt.dll is a branch of that
#   runtime, so what msvcr70.dll lacks (strcpy_s, _fseeki64, ...) came later
#   and XP's msvcrt.dll lacks it too. The toolchain's import library of
#   msvcr70.dll names its exports.
set -euo pipefail
dll=${1:?usage: check_xp_floor.sh DLL-OR-EXE}
cc=${PORRESKU_MINGW_CC:-i686-w64-mingw32-gcc-win32}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

dump=$(i686-w64-mingw32-objdump -p "$dll")
# The header's characteristics list "DLL" on a line of its own for a DLL.
if grep -qx $'\tDLL' <<<"$dump"; then
  kind=DLL allowed="KERNEL32.DLL USER32.DLL MSVCRT.DLL" allowed_text="KERNEL32, USER32 and msvcrt"
else
  kind=program allowed="KERNEL32.DLL USER32.DLL MSVCRT.DLL SHELL32.DLL" allowed_text="KERNEL32, USER32, msvcrt and SHELL32"
fi

for field in MajorOSystemVersion:5 MinorOSystemVersion:1 MajorSubsystemVersion:5 MinorSubsystemVersion:1; do
  name=${field%%:*} want=${field##*:}
  got=$(sed -n "s/^$name\s*\([0-9]*\)$/\1/p" <<<"$dump")
  [ "$got" = "$want" ] || fail "PE header $name is '$got', not $want"
done

# "DLL Name: X" opens each DLL's list; its functions follow as "vma hint name".
imports=$(sed -n '/^The Import Tables/,/^The Export Tables\|^PE File Base Relocations/p' <<<"$dump" |
          awk '/DLL Name:/ {dll = toupper($3); next}
               dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ {print dll, $3}')
[ -n "$imports" ] || fail "no imports found (is $dll a PE file?)"
for dll_name in $(awk '{print $1}' <<<"$imports" | sort -u); do
  grep -qw -- "$dll_name" <<<"$allowed" ||
    fail "imports from $dll_name (only $allowed_text are allowed for a $kind)"
done

functions=$(awk '$1 == "KERNEL32.DLL" || $1 == "USER32.DLL" || $1 == "SHELL32.DLL" {print $2}' <<<"$imports" | sort -u)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  echo '#include <windows.h>'
  echo '#include <shellapi.h>'
  echo 'void *const imported[] = {'
  for f in $functions; do echo "  (void *)&$f,"; done
  echo '};'
} >"$work/xp_imports.c"
if ! LC_ALL=C "$cc" -c -D_WIN32_WINNT=0x0501 -DWINVER=0x0501 -Werror=implicit-function-declaration \
        -o "$work/xp_imports.o" "$work/xp_imports.c" 2>"$work/errors"; then
  newer=$(sed -n "s/.*error: '\([A-Za-z0-9_]*\)' undeclared.*/\1/p" "$work/errors" | sort -u)
  if [ -n "$newer" ]; then
    for f in $newer; do fail "imports $f, which the Windows headers declare only after XP"; done
  else
    cat "$work/errors"
    fail "the import check did not compile"
  fi
fi

msvcr70=$("$cc" -print-file-name=libmsvcr70.a)
if [ ! -f "$msvcr70" ]; then
  fail "no libmsvcr70.a beside $cc to check the msvcrt imports against"
else
  # Its import entries are "__imp_" and the C name with its leading "_".
  runtime_exports=$(i686-w64-mingw32-nm "$msvcr70" | awk '$2 == "I" {print $3}' | sed 's/^__imp_//; s/^_//' | sort -u)
  for f in $(awk '$1 == "MSVCRT.DLL" {print $2}' <<<"$imports" | sort -u); do
    grep -qxF -- "$f" <<<"$runtime_exports" || fail "imports $f from msvcrt, which Windows XP's msvcrt.dll does not have"
  done
fi

echo "imports:"
awk '{print "  " $1 "!" $2}' <<<"$imports"
if [ "$failures" -ne 0 ]; then
  echo "$failures problem(s): $dll does not load on Windows XP SP3"
  exit 1
fi
echo "XP floor OK ($kind): $(wc -l <<<"$functions") KERNEL32/USER32/SHELL32 functions, all declared for NT 5.1; msvcrt functions all in XP's"
