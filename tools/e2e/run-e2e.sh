#!/usr/bin/env bash
# The end-to-end journey on a display and a D-Bus session of its own.
# Usage: run-e2e.sh APP SCREENSHOT-FOLDER LOCKED-KEYRING. Fails, naming the tool, when one is missing
# (scripts/setup installs them all).
set -uo pipefail
app=$1 shots=$2 keyring=$3
for tool in Xvfb trayer openbox xdotool xprop import trash-list dbus-run-session python3; do
  command -v "$tool" >/dev/null || { echo "the journey needs $tool: run scripts/setup"; exit 1; }
done
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
for _ in $(seq 600); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "FAILED: Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
# Under AddressSanitizer: the web engine's own library fails the delete-size
# check when the leaderboard page goes away, which is not ours to fix.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}new_delete_type_mismatch=0
dbus-run-session -- python3 "$(dirname "$0")/tidewell_e2e.py" --app "$app" --work "$work/session" --shots "$shots" \
  --keyring "$keyring"
