#!/bin/sh
# Catches SIGTERM and exits with status 1 instead of ending by the signal.
trap 'exit 1' TERM
echo 'PROGRESS:{"phase":"start","message":"Starting","projects_found":0,"roots_done":0,"roots_total":1}' >&2
while :; do sleep 0.05; done
