#!/bin/sh
# Installs the build tree into a scratch prefix and checks that the executable,
# the desktop entry and every hicolor icon are there, and that the installed
# desktop entry validates.
#
# usage: check_install.sh BUILD_DIR PREFIX CONFIG BINDIR DATADIR [DESKTOP_FILE_VALIDATE]
set -eu

if [ $# -lt 5 ]; then
    echo "usage: $0 BUILD_DIR PREFIX CONFIG BINDIR DATADIR [DESKTOP_FILE_VALIDATE]" >&2
    exit 2
fi

build=$1
prefix=$2
config=$3
bindir=$4
datadir=$5
validate=${6:-}

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

rm -rf "$prefix"
if [ -n "$config" ]; then
    cmake --install "$build" --prefix "$prefix" --config "$config"
else
    cmake --install "$build" --prefix "$prefix"
fi

exe="$prefix/$bindir/lumivex"
if [ -f "$exe" ] && [ -x "$exe" ]; then
    echo "ok: $exe"
else
    fail "executable missing or not executable: $exe"
fi

desktop="$prefix/$datadir/applications/lumivex.desktop"
if [ -f "$desktop" ]; then
    echo "ok: $desktop"
    grep -qx 'Exec=lumivex' "$desktop" || fail "$desktop: Exec is not the installed executable"
    grep -qx 'Icon=lumivex' "$desktop" || fail "$desktop: Icon is not lumivex"
    if [ -n "$validate" ]; then
        if "$validate" "$desktop"; then
            echo "ok: desktop-file-validate accepts $desktop"
        else
            fail "desktop-file-validate rejects $desktop"
        fi
    else
        echo "SKIPPED: desktop-file-validate was not found when configuring; entry not validated"
    fi
else
    fail "desktop entry missing: $desktop"
fi

png_magic=$(printf '\211PNG')
for n in 16 32 48 64 128 256; do
    icon="$prefix/$datadir/icons/hicolor/${n}x${n}/apps/lumivex.png"
    if [ ! -f "$icon" ]; then
        fail "icon missing: $icon"
        continue
    fi
    if [ "$(head -c 4 "$icon")" != "$png_magic" ]; then
        fail "not a PNG: $icon"
        continue
    fi
    # Width and height sit at bytes 16..23 of the IHDR chunk.
    size=$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' ' ' | sed 's/^ //')
    w=$(echo "$size" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    h=$(echo "$size" | awk '{print $5*16777216 + $6*65536 + $7*256 + $8}')
    if [ "$w" != "$n" ] || [ "$h" != "$n" ]; then
        fail "$icon is ${w}x${h}, expected ${n}x${n}"
        continue
    fi
    echo "ok: $icon"
done

if [ "$status" -eq 0 ]; then
    echo "install tree complete"
fi
exit "$status"
