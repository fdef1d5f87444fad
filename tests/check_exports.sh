#!/usr/bin/env bash
# Compares the library's exported names with the list in qlapi.def, which
# must hold COUNT names.
# Usage: check_exports.sh native|windows LIBRARY DEF-FILE COUNT
set -eu
kind=$1 lib=$2 def=$3 count=$4
expected=$(sed -n 's/^ *\(QL_[A-Za-z]*\) *$/\1/p' "$def" | sort)
if [ "$kind" = windows ]; then
  actual=$(x86_64-w64-mingw32-objdump -p "$lib" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] *//p' | sort)
  imports=$(x86_64-w64-mingw32-objdump -p "$lib" | sed -n 's/^\s*DLL Name: //p' | sort -u)
  # Only DLLs that every Windows has: the C runtime and the system itself.
  bad=$(echo "$imports" | grep -v -i -E '^(kernel32|user32|advapi32|msvcrt|ws2_32|wininet|shell32|ole32|gdi32|comctl32|comdlg32|api-ms-win-.*)\.dll$' || true)
  if [ -n "$bad" ]; then echo "qlapi.dll needs non-system DLLs: $bad"; exit 1; fi
else
  actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
fi
if [ "$(echo "$expected" | wc -l)" -ne "$count" ]; then
  echo "$def lists $(echo "$expected" | wc -l) exports instead of $count"
  exit 1
fi
if [ "$expected" != "$actual" ]; then
  echo "exports differ from $def:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "$(echo "$actual" | wc -l) exports, as listed"
