#!/bin/sh
# Ignores SIGTERM entirely; only SIGKILL ends it.
trap '' TERM
echo 'PROGRESS:{"phase":"start","message":"Starting","projects_found":0,"roots_done":0,"roots_total":1}' >&2
while :; do sleep 0.05; done
