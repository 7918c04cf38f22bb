#!/bin/bash
# Checks that a built plug-in exports exactly the two VST 2.4 entry points,
# and (Windows) that it needs no mingw runtime DLL.
#   check_exports.sh elf FILE
#   check_exports.sh pe FILE OBJDUMP
# Exit 77 (a skip) when FILE has not been built.
set -u
kind=$1
file=$2
if [ ! -f "$file" ]; then
    echo "SKIPPED: $file has not been built"
    exit 77
fi
if [ "$kind" = elf ]; then
    exports=$(nm -D --defined-only "$file" | awk '{print $3}' | sort | tr '\n' ' ')
else
    objdump=$3
    dump=$("$objdump" -p "$file")
    # Export names follow the "[Ordinal/Name Pointer] Table" heading, one a
    # line as "[   0] name".
    exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort | tr '\n' ' ')
    imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
    echo "imports: $imports"
    if printf '%s\n' "$imports" | grep -qiE 'libstdc\+\+|libgcc|libwinpthread'; then
        echo "FAIL: $file needs a mingw runtime DLL; it would not load on a bare Windows"
        exit 1
    fi
fi
echo "exports: $exports"
if [ "$exports" != "VSTPluginMain main " ]; then
    echo "FAIL: $file must export exactly VSTPluginMain and main"
    exit 1
fi
echo "OK: $file"
