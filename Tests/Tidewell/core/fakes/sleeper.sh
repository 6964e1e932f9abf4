#!/bin/sh
# Announces itself, then waits to be stopped.
echo 'PROGRESS:{"phase":"start","message":"Starting","projects_found":0,"roots_done":0,"roots_total":1}' >&2
exec sleep 30
