#!/bin/sh
# Ends by a SIGTERM that does not come from the application.
echo "about to stop" >&2
kill -TERM $$
sleep 5
