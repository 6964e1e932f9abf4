#!/bin/sh
# Progress lines that arrive in pieces, with a carriage return, a broken one,
# and a last one without a newline.
printf 'PROGRESS:{"phase":"start","message":"Sta' >&2
sleep 0.05
printf 'rting","projects_found":0,"roots_done":0,"roots_total":2}\n' >&2
printf 'PROGRESS:{"phase":"project","message":"Found","path":"/p/a","projects_found":1,"roots_done":0,"roots_total":2}\r\n' >&2
printf 'PROGRESS:{"phase":"walk", broken\n' >&2
printf 'PROGRESS:{"phase":"skip","message":"Cannot read","path":"/p/locked","projects_found":1,"roots_done":0,"roots_total":2}\n' >&2
printf '\n\r\n' >&2
printf 'PROGRESS:{"phase":"error","message":"Root missing","projects_found":1,"roots_done":1,"roots_total":2}\n' >&2
printf 'PROGRESS:{"phase":"done","message":"Done","projects_found":1,"roots_done":2,"roots_total":2}' >&2
printf '{"ok":true}'
