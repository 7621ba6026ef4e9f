#!/usr/bin/env bash
# The built library's export table: exactly the nine names (with their
# ordinals on Windows), nothing else; on Windows, imports only from Windows'
# own DLLs.
set -euo pipefail
kind=$1 file=$2
expected="1 OnGoodbye
2 IsCalled
3 Call
4 Free
5 Create
6 Setup
7 Information
8 InstallInformation
9 Name"
fail() { echo "FAIL: $*"; exit 1; }

if [ "$kind" = windows ]; then
  dump=$(i686-w64-mingw32-objdump -p "$file")
  # The name table: "[ordinal-base index] name"; the ordinal is the +base column.
  actual=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
           sed -n 's/^\s*\[\s*\([0-9]*\)\]\s*\(\S*\)$/\1 \2/p')
  base=$(printf '%s\n' "$dump" | sed -n 's/^Ordinal Base\s*\([0-9]*\)$/\1/p')
  actual=$(printf '%s\n' "$actual" | awk -v base="$base" '{print $1 + base, $2}' | sort -n)
  [ "$actual" = "$expected" ] || fail "exports differ:"$'\n'"$actual"
  grep -q 'Name: Porresku.dll\|^Name .*Porresku.dll' <<<"$dump" || fail "module name is not Porresku.dll"
  imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
  for dll in $imports; do
    case "$dll" in
      KERNEL32.DLL|USER32.DLL|MSVCRT.DLL|ADVAPI32.DLL) ;;
      *) fail "imports $dll, which is no Windows system DLL" ;;
    esac
  done
  echo "exports:"; echo "$actual"; echo "imports:" $imports
else
  actual=$(nm -D --defined-only "$file" | awk '$2 ~ /^[TDBRW]$/ {print $3}' | sort)
  want=$(printf '%s\n' "$expected" | awk '{print $2}' | sort)
  [ "$actual" = "$want" ] || fail "exports differ:"$'\n'"$actual"
  echo "exports:" $actual
fi
echo "export table OK"
