#!/bin/sh
# 2,500 diagnostic lines, then a failure.
i=1
while [ $i -le 2500 ]; do
  echo "diagnostic $i"
  i=$((i + 1))
done >&2
exit 1
