#!/bin/sh
# 40 MiB on standard output, then a line on standard error to prove it was not blocked.
head -c 41943040 /dev/zero | tr '\0' 'x'
echo "wrote everything" >&2
