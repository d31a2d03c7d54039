#!/usr/bin/env bash
# Refreshes docs/screenshot.png, the picture in the README.
#
# Starts the built lumivex on a virtual X server, opens a generated sample
# photo through File > Open, starts a crop and drags a crop box, then grabs the
# window.
#
# usage: scripts/screenshot.sh [LUMIVEX_EXECUTABLE [OUTPUT_PNG]]
#   LUMIVEX_EXECUTABLE  default: build/src/app/lumivex
#   OUTPUT_PNG          default: docs/screenshot.png
#
# Needs xvfb-run (xvfb), xdotool and ImageMagick (convert, import).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [[ "${1:-}" != "--inner" ]]; then
    exe=${1:-$root/build/src/app/lumivex}
    out=${2:-$root/docs/screenshot.png}
    for tool in xvfb-run xdotool convert import; do
        command -v "$tool" >/dev/null || { echo "screenshot.sh: $tool not found" >&2; exit 1; }
    done
    [[ -x "$exe" ]] || { echo "screenshot.sh: no executable at $exe (build first)" >&2; exit 1; }
    exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
    mkdir -p "$(dirname "$out")"
    out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
    exec xvfb-run -a -s "-screen 0 1280x800x24" "${BASH_SOURCE[0]}" --inner "$exe" "$out"
fi

# ---- Inside the virtual X server ---------------------------------------------
exe=$2
out=$3

tmp=$(mktemp -d)
app_pid=
cleanup() {
    if [[ -n "$app_pid" ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

log() { echo "screenshot.sh: $*" >&2; }
die() { log "$*"; exit 1; }

# wait_until SECONDS COMMAND...: polls COMMAND every 0.1 s until it succeeds.
wait_until() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}

# Visible top-level windows with the given title (exact match).
window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
window_gone() { ! window_shown "$1"; }

# Number of visible windows belonging to the application (menus are windows).
visible_count() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l; }
more_windows_than() { (($(visible_count) > $1)); }

# ---- A sample photo: seeded fractal hills under an evening sky ----------------
convert -size 1200x800 -seed 1729 plasma:fractal -blur 0x3 -colorspace Gray -auto-level \
    "$tmp/relief.png"
convert -size 1200x800 gradient:'#7fb0dc'-'#f6c88c' "$tmp/sky.png"
convert -size 1200x800 xc:none -fill '#fff4d0' -draw 'circle 860,330 860,385' -blur 0x5 \
    "$tmp/sun.png"
convert "$tmp/relief.png" +level-colors '#2a4a36','#8fb080' "$tmp/far.png"
convert "$tmp/relief.png" -flop +level-colors '#0f2414','#5f8a3c' "$tmp/near.png"
# Each horizon is a fractal profile, one value per column: ground wherever the
# height down the picture exceeds BASE + AMPLITUDE * profile.
hills() { # hills FLOP BASE AMPLITUDE OUT
    convert -size 1200x800 gradient:black-white \
        \( "$tmp/relief.png" "$1" -resize 1200x1! -auto-level -blur 0x2 -scale 1200x800! \
            -evaluate multiply "$3" \) \
        -compose minus_src -composite -threshold "$2" -blur 0x0.8 "$4"
}
hills +repage 42% 0.22 "$tmp/farmask.png"
hills -flop 62% 0.18 "$tmp/nearmask.png"
convert "$tmp/sky.png" "$tmp/sun.png" -composite \
    "$tmp/far.png" "$tmp/farmask.png" -composite \
    "$tmp/near.png" "$tmp/nearmask.png" -composite \
    -strip "$tmp/sample.png"
[[ -s "$tmp/sample.png" ]] || die "could not make the sample photo"

# ---- Start the editor ---------------------------------------------------------
# Plain Qt widgets (own file dialog, Fusion style) regardless of the desktop
# settings of whoever runs this.
unset QT_QPA_PLATFORMTHEME XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID
export QT_QPA_PLATFORM=xcb
export QT_STYLE_OVERRIDE=Fusion

"$exe" >"$tmp/app.log" 2>&1 &
app_pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Lumivex$' | head -n 1) \
    || die "the main window did not appear"
[[ -n "$wid" ]] || die "the main window did not appear"

# Without a window manager the window keeps the position Qt gave it.
eval "$(xdotool getwindowgeometry --shell "$wid")"
win_x=$X
win_y=$Y
win_w=$WIDTH
win_h=$HEIGHT
log "main window $wid at ${win_x},${win_y} size ${win_w}x${win_h}"

# Menu titles in the menu bar, relative to the window (Fusion style, default
# font): File Edit Crop Filters Help.
menu_y=9
file_x=20
crop_x=97

# click_menu X: opens the menu whose title is at X and waits for its popup.
click_menu() {
    local before
    before=$(visible_count)
    xdotool mousemove --window "$wid" "$1" "$menu_y" click 1
    wait_until 5 more_windows_than "$before" || die "menu at x=$1 did not open"
}

# Choose the first item of a menu just opened by a click: Down selects it.
first_item() {
    xdotool key --clearmodifiers Down Return
}

# ---- File > Open -------------------------------------------------------------
click_menu "$file_x"
first_item # Open
wait_until 10 window_shown 'Open Image' || die "the open dialog did not appear"
dlg=$(xdotool search --onlyvisible --name '^Open Image$' | head -n 1)
xdotool windowfocus --sync "$dlg" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$dlg")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 40))

# The file-name box has the focus when the dialog opens.
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 10 "$tmp/sample.png"
xdotool key --clearmodifiers Return
# A completion popup may take the first Return.
if ! wait_until 3 window_gone 'Open Image'; then
    xdotool key --clearmodifiers Return
    wait_until 10 window_gone 'Open Image' || die "the open dialog did not close"
fi

# ---- Crop > Start Crop, then drag a box ---------------------------------------
xdotool mousemove --window "$wid" $((win_w / 2)) $((win_h / 2))
sleep 0.3 # let the view paint the new image
click_menu "$crop_x"
first_item # Start Crop
sleep 0.2

x0=$((win_w * 30 / 100))
y0=$((win_h * 30 / 100))
x1=$((win_w * 72 / 100))
y1=$((win_h * 78 / 100))
xdotool mousemove --window "$wid" "$x0" "$y0"
sleep 0.05
xdotool mousedown 1
steps=12
for ((i = 1; i <= steps; i++)); do
    xdotool mousemove --window "$wid" $((x0 + (x1 - x0) * i / steps)) $((y0 + (y1 - y0) * i / steps))
    sleep 0.03
done
xdotool mouseup 1
# Park the pointer on the window edge so no hover highlight shows.
xdotool mousemove --window "$wid" $((win_w - 2)) $((win_h - 2))
sleep 0.3

# ---- Grab the window -------------------------------------------------------------
kill -0 "$app_pid" 2>/dev/null || die "lumivex exited: $(cat "$tmp/app.log")"
import -window root "$tmp/root.png"
convert "$tmp/root.png" -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage \
    -strip -define png:exclude-chunks=date,time "$out"
log "wrote $out"
