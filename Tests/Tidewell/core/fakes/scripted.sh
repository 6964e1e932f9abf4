#!/bin/sh
# Records its arguments and environment beside itself, then replays the
# prepared standard error, standard output and exit status.
here=$(dirname "$0")
for a in "$@"; do printf '%s\n' "$a"; done > "$here/args.txt"
printf '%s\n%s\n' "$HOME" "$TIDEWELL_HOME" > "$here/env.txt"
if [ -f "$here/stderr.txt" ]; then cat "$here/stderr.txt" >&2; fi
if [ -f "$here/stdout.txt" ]; then cat "$here/stdout.txt"; fi
exit "$(cat "$here/exit.txt" 2>/dev/null || echo 0)"
