#!/usr/bin/env bash
# Reads the built quillmoor.exe back with binutils and checks what the user's
# Windows sees of it: format, subsystem, imports, size, and its resources.
# Usage: check-executable.sh quillmoor.exe i686-w64-mingw32
set -uo pipefail
exe=$1
tools=$2
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# has <what> <haystack> <needle>: the haystack holds the needle as a line part.
has() { grep -qF -- "$3" <<<"$2" || fail "$1: missing: $3"; }

headers=$("$tools-objdump" -p "$exe") || { echo "objdump failed"; exit 1; }
resources=$("$tools-windres" -i "$exe" -O rc) || { echo "windres failed"; exit 1; }

# --- Format: PE32 for Intel 386, a GUI program, stripped, small.
has format "$headers" "file format pei-i386"
has format "$headers" "Magic			010b	(PE32)"
has subsystem "$headers" "Subsystem		00000002	(Windows GUI)"
"$tools-objdump" -t "$exe" 2>&1 | grep -q "no symbols" || fail "not stripped"
size=$(stat -c %s "$exe")
echo "size: $size bytes"
[ "$size" -lt 65536 ] || fail "size $size is not under 64 KiB"

# --- Imports: only the system's own DLLs and msvcrt; no runtime DLL.
dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
echo "imports: $dlls"
[ "$dlls" = "COMCTL32.DLL COMDLG32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] ||
  fail "imported DLLs are: $dlls"
# COMCTL32 gives exactly one import: ordinal 17, without a name.
comctl32=$(awk '/DLL Name:/ { on = (toupper($3) == "COMCTL32.DLL"); next }
                NF == 0 { on = 0 }
                on && $1 != "vma:" { print }' <<<"$headers")
[ "$(wc -l <<<"$comctl32")" = 1 ] && grep -qE '^\s*80000011\s+17\s+<none>' <<<"$comctl32" ||
  fail "COMCTL32 imports are not just ordinal 17: $(head -5 <<<"$comctl32")"
for needed in GetPrivateProfileStringA WritePrivateProfileStringA FindFirstFileA FindClose \
    ExpandEnvironmentStringsA MessageBoxA GetActiveWindow GetOpenFileNameA GetSaveFileNameA; do
  grep -qE "\s$needed$" <<<"$headers" || fail "does not import $needed"
done

# --- Resources: a version block and a manifest, nothing else.
types=$(sed -n 's|^/\* Type: \(.*\)$|\1|p' <<<"$resources" | sort | tr '\n' ' ')
[ "$types" = "24 version " ] || fail "resource types are: $types"
has resources "$resources" "1 24 /* RT_MANIFEST */"
has resources "$resources" "1 VERSIONINFO"

# The manifest as its XML text: windres prints it as C-like string pieces.
manifest=$(sed -n '/^1 24 /,/^END/p' <<<"$resources" | sed '1,2d;$d' |
  sed -e 's/^ *"//' -e 's/"$//' -e 's/""/"/g' | tr -d '\n' | sed 's/\\n/\n/g')
echo "$manifest" | head -1 | grep -qF '<?xml version="1.0" encoding="UTF-8"' ||
  fail "manifest is not UTF-8 XML: $(head -1 <<<"$manifest")"
elements=$(grep -oE '<[A-Za-z]+' <<<"$manifest" | tr '\n' ' ')
[ "$elements" = "<assembly <assemblyIdentity <description <dependency <dependentAssembly <assemblyIdentity " ] ||
  fail "manifest elements are: $elements"
has manifest "$manifest" 'manifestVersion="1.0"'
own=$(grep -oE '<assemblyIdentity [^>]*name="Quillmoor"[^>]*>' <<<"$manifest")
for attribute in 'version="1.0.0.0"' 'processorArchitecture="X86"' 'type="win32"'; do
  has "own assemblyIdentity" "$own" "$attribute"
done
has manifest "$manifest" "<description>Quillmoor</description>"
controls=$(grep -oE '<assemblyIdentity [^>]*name="Microsoft.Windows.Common-Controls"[^>]*>' <<<"$manifest")
for attribute in 'type="win32"' 'version="6.0.0.0"' 'processorArchitecture="X86"' \
    'publicKeyToken="6595b64144ccf1df"' 'language="*"'; do
  has "Common-Controls assemblyIdentity" "$controls" "$attribute"
done

# The version block.
version=$(sed -n '/^1 VERSIONINFO/,/^END/p' <<<"$resources")
for line in " FILEVERSION 1, 0, 0, 0" " PRODUCTVERSION 1, 0, 0, 0" " FILETYPE 0x1" \
    'BLOCK "040904b0"' 'VALUE "FileDescription", "Quillmoor executable"' \
    'VALUE "FileVersion", "1.00"' 'VALUE "ProductName", "Quillmoor"' \
    'VALUE "ProductVersion", "1.00"' 'VALUE "InternalName", "' \
    'VALUE "OriginalFilename", "' 'VALUE "Translation", 0x409, 1200'; do
  has "version block" "$version" "$line"
done
tables=$(grep -c 'BLOCK "[0-9a-fA-F]\{8\}"' <<<"$version")
[ "$tables" = 1 ] || fail "version block has $tables string tables"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
