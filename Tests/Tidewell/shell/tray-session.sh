#!/usr/bin/env bash
# The tray on an X11 session of its own (Xvfb, a private D-Bus, the small
# XEmbed tray trayer): a start with --background puts the icon in the tray and
# the scan panel, on every workspace, on screen until 12 s after its scan; a
# click on the icon opens the widget, whose "Open App" brings up the main window;
# the icon's menu quits.
# Usage: tray-session.sh APP [PICTURE-FOLDER]. Fails, naming the tool, when one is missing
# (scripts/setup installs them all).
set -uo pipefail
app=$1 shots=${2:-}
for tool in Xvfb trayer xdotool xwininfo xprop dbus-daemon; do
  command -v "$tool" >/dev/null || { echo "the tray session needs $tool: run scripts/setup"; exit 1; }
done
work=$(mktemp -d) pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
within() { local t=$(($1 * 10)); shift; while ((t-- > 0)); do "$@" && return 0; sleep 0.1; done; return 1; }
shot() { [[ -z $shots ]] || { mkdir -p "$shots" && xwd -root -silent > "$shots/$1.xwd"; }; }
# Reads a window's geometry into X, Y, W, H.
geometry() { eval "$(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print "X=" $4} /Absolute upper-left Y/ {print "Y=" $4} /Width/ {print "W=" $2} /Height/ {print "H=" $2}')"; }

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share XDG_RUNTIME_DIR=$work/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR" && mkdir -p "$XDG_CONFIG_HOME/Tidewell" "$work/projects/site/node_modules/pkg"
echo '{"name":"site"}' > "$work/projects/site/package.json"
head -c 300000 /dev/zero > "$work/projects/site/node_modules/pkg/index.js"
# The scan walks the projects folder alone, not the whole disk (a first start
# adds "/" unless told it did so before), so its end does not wait on the machine.
echo '{"values":{"hasCompletedOnboarding":{"kind":"bool","value":true},"didSeedStartupDisk":{"kind":"bool","value":true},"scanRoots":{"kind":"stringArray","value":["'"$work"'/projects"]}}}' \
  > "$XDG_CONFIG_HOME/Tidewell/defaults.json"

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
within 60 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=:$(head -1 "$work/display") QT_QPA_PLATFORM=xcb
# A bus that activates nothing: no notification server or keyring of the machine's joins in.
echo '<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth><policy context="default">
<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>' > "$work/bus.conf"
dbus-daemon --config-file="$work/bus.conf" --fork --print-address=4 --print-pid=5 4> "$work/bus" 5> "$work/bus.pid"
pids+=($(cat "$work/bus.pid")) && export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus")
# trayer can end before its panel shows (seen once on a busy machine): it is
# started again, and what it said is shown when no panel ever comes.
traypanel() { xwininfo -name panel >/dev/null 2>&1; }
for attempt in 1 2 3; do
  trayer --edge top --align right --widthtype pixel --width 120 --height 28 >> "$work/trayer.log" 2>&1 & pids+=($!) traypid=$!
  within 60 eval 'traypanel || ! kill -0 $traypid 2>/dev/null'
  traypanel && break
  echo "trayer ended before its panel showed (attempt $attempt)"
done
traypanel || { cat "$work/trayer.log"; fail "the tray did not start"; }
"$app" --background > "$work/app.log" 2>&1 & pids+=($!) apppid=$!

# The panel is the one window on every workspace.
panel() { for id in $(xwininfo -root -tree | awk '/"tidewell"/ {print $1}'); do
  xprop -id "$id" _NET_WM_DESKTOP | grep -q 4294967295 && echo "$id" && return 0; done; return 1; }
within 60 panel >/dev/null || fail "no scan panel after a background start"
id=$(panel) && within 60 eval 'xwininfo -id $id | grep -q IsViewable' || fail "the scan panel is not on screen"
shot panel && echo "scan panel shown"
icon=$(xwininfo -name panel -tree | awk '/"tidewell"/ {print $1; exit}')
[[ -n $icon ]] || fail "no icon in the tray"
geometry "$icon" && echo "tray icon at $X,$Y"
iconx=$((X + W / 2)) icony=$((Y + H / 2))
within 60 eval '! xwininfo -id $id | grep -q IsViewable' || fail "the scan panel stayed after the scan"
echo "scan panel gone after the scan"

xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 1
popover() { xwininfo -root -tree | awk '/"tidewell"/ && / 280x/ {print $1; exit}' | grep .; }
within 60 popover >/dev/null || fail "a click on the icon opened no widget"
shot widget && geometry "$(popover)" && echo "tray widget open at $X,$Y"
xdotool mousemove $((X + 70)) $((Y + H - 54)) click 1  # "Open App", the middle of the three rows at the foot
within 60 xwininfo -name Tidewell >/dev/null 2>&1 || fail "Open App brought up no main window"
shot main && echo "main window up"

# A right click on the icon opens its menu, whose Q (the mnemonic of "Quit Tidewell") quits.
xdotool mousemove "$iconx" "$icony" click 3
within 60 eval 'xdotool key q; ! kill -0 $apppid 2>/dev/null' || fail "the tray menu's Quit Tidewell did not quit"
echo "quit from the tray menu"
