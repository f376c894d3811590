#!/usr/bin/env bash
# Checks the shipped binaries: 32-bit x86, importing Windows system DLLs only (the exe also
# Fetchkit.dll, by ordinal), and Fetchkit.dll exporting ordinals 1-6 and 8 without names.
set -u
bin=$1
objdump=i686-w64-mingw32-objdump
passed=0 failed=0
check() {  # description, command...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|wintrust|crypt32|wininet|winhttp|ws2_32|msvcrt|version|secur32|bcrypt|ntdll)\.dll$'

imports() { "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'; }

only_system_imports() {  # file, extra allowed name
  local file=$1 extra=${2:-} bad
  bad=$(imports "$file" | grep -v -E "$system_dlls" | grep -v -x -F "${extra:-none}")
  [ -z "$bad" ] || { echo "$file imports: $bad"; return 1; }
}

is_i386() { "$objdump" -f "$1" | grep -q 'file format pei-i386'; }

fetchkit_exports() {
  local dump names ordinals
  dump=$("$objdump" -p "$bin/Fetchkit.dll")
  names=$(echo "$dump" | sed -n 's/^\s*\[Name Pointer\/Ordinal\] Table\s*//p')
  ordinals=$(echo "$dump" | sed -n 's/^\s*\[ *[0-9]*\] +base\[ *\([0-9]*\)\].*/\1/p' | sort -n | tr '\n' ' ')
  [ "$((16#$names))" = 0 ] && [ "$ordinals" = "1 2 3 4 5 6 8 " ] || { echo "exports: names=$names ordinals=$ordinals"; return 1; }
}

exe_imports_fetchkit_by_ordinal() {
  local section
  section=$("$objdump" -p "$bin/TolmUpdaterExec.exe" | awk '/DLL Name: Fetchkit.dll/{f=1;next} /DLL Name:/{f=0} f')
  local ords
  ords=$(echo "$section" | awk '$2 ~ /^[0-9]+$/ && $3 == "<none>" {print $2}' | sort -n | tr '\n' ' ')
  local named
  named=$(echo "$section" | awk '(NF == 3 || NF == 4) && $2 ~ /^[0-9]+$/ && $3 != "<none>"' | wc -l)
  [ "$ords" = "${TOLM_EXE_FETCHKIT_ORDINALS:-1 2 3 4 5 6 8} " ] && [ "$named" = 0 ] || { echo "exe imports from Fetchkit: ordinals=$ords named=$named"; return 1; }
}

for f in TolmUpdaterExec.exe Fetchkit.dll KVLog.dll; do
  check "$f is i386" is_i386 "$bin/$f"
done
check "exe imports" only_system_imports "$bin/TolmUpdaterExec.exe" fetchkit.dll
check "Fetchkit.dll imports" only_system_imports "$bin/Fetchkit.dll"
check "KVLog.dll imports" only_system_imports "$bin/KVLog.dll"
check "Fetchkit.dll exports" fetchkit_exports
if true; then
  check "exe imports Fetchkit by ordinal" exe_imports_fetchkit_by_ordinal
fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
