#!/usr/bin/env bash
# The tray on a real X11 session: Xvfb, a D-Bus session of its own and a small
# XEmbed tray (trayer). A start with --background puts the icon in the tray
# and shows the scan panel (on every workspace) during its first scan, which
# leaves 12 s after the scan; a click on the icon opens the tray widget and
# its "Open App" row brings up the main window.
# Usage: tray-session.sh APP [PICTURE-FOLDER]. Exits 77 (skipped) without the tools.
set -uo pipefail
app=$1
shots=${2:-}
for tool in Xvfb trayer xdotool xwininfo xprop dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
# Waits up to $1 seconds for the command after it to succeed.
within() { local t=$(($1 * 10)); shift; while ((t-- > 0)); do "$@" && return 0; sleep 0.1; done; return 1; }

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Tidewell" "$work/projects/site/node_modules/pkg" && chmod 700 "$XDG_RUNTIME_DIR"
echo '{"name":"site"}' > "$work/projects/site/package.json"
head -c 300000 /dev/zero > "$work/projects/site/node_modules/pkg/index.js"
cat > "$XDG_CONFIG_HOME/Tidewell/defaults.json" <<JSON
{"values":{"hasCompletedOnboarding":{"kind":"bool","value":true},"scanRoots":{"kind":"stringArray","value":["$work/projects"]}}}
JSON

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
within 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display")
dbus-daemon --session --fork --print-address=4 --print-pid=5 4> "$work/bus" 5> "$work/bus.pid"
pids+=($(cat "$work/bus.pid"))
export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus")
trayer --edge top --align right --widthtype pixel --width 120 --height 28 --transparent false >/dev/null 2>&1 &
pids+=($!)
within 10 xwininfo -name panel >/dev/null 2>&1 || fail "the tray did not start"

"$app" --background > "$work/app.log" 2>&1 &
pids+=($!)
shot() { [[ -n $shots ]] && mkdir -p "$shots" && xwd -root -silent > "$shots/$1.xwd"; }

# The panel is the one window on every workspace.
panel() {
  local id
  for id in $(xwininfo -root -tree | awk '/"tidewell"/ {print $1}'); do
    xprop -id "$id" _NET_WM_DESKTOP 2>/dev/null | grep -q 4294967295 && { echo "$id"; return 0; }
  done
  return 1
}
mapped() { xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
within 10 panel >/dev/null || fail "no scan panel after a background start"
id=$(panel)
within 5 mapped "$id" || fail "the scan panel is not on screen"
shot panel
echo "scan panel shown: $(xwininfo -id "$id" | awk '/geometry/ {print $2}')"

icon=$(xwininfo -name panel -tree | awk '/"tidewell"/ {print $1; exit}')
[[ -n $icon ]] || fail "no icon in the tray"
eval "$(xwininfo -id "$icon" | awk '/Absolute upper-left X/ {print "x=" $4} /Absolute upper-left Y/ {print "y=" $4} /Width/ {print "w=" $2} /Height/ {print "h=" $2}')"
echo "tray icon at $x,$y (${w}x$h)"

within 16 bash -c "! xwininfo -id $id | grep -q IsViewable" || fail "the scan panel stayed after the scan"
echo "scan panel gone after the scan"

xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
popover() { xwininfo -root -tree | awk '/"tidewell"/ && / 280x/ {print $1; exit}' | grep .; }
within 5 popover >/dev/null || fail "a click on the icon opened no widget"
shot widget
eval "$(xwininfo -id "$(popover)" | awk '/Absolute upper-left X/ {print "px=" $4} /Absolute upper-left Y/ {print "py=" $4} /Height/ {print "ph=" $2}')"
echo "tray widget open at $px,$py"
# "Open App" is the middle of the three rows at the widget's foot.
xdotool mousemove $((px + 70)) $((py + ph - 54)) click 1
within 5 xwininfo -name Tidewell >/dev/null 2>&1 || fail "Open App brought up no main window"
shot main
echo "main window up"
