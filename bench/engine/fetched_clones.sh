#!/usr/bin/env bash
# What judging the clones inside a build folder costs a scan: a CMake project
# whose build/_deps holds 10 fetched clones of about 2,000 files each, scanned
# by the engine and by a baseline engine (another build, for example of main)
# in one hyperfine run, first as cloned, then with every file of the clones
# touched (their times changed, their contents not), which makes Git compare
# contents. Not part of the test run.
#
#   bench/engine/fetched_clones.sh ENGINE BASELINE
#   BENCH_FETCHED_DIR=/path   keeps the project there (default /tmp/tidewell-bench-fetched)
set -euo pipefail
engine=$(realpath "$1")
baseline=$(realpath "$2")
dir=${BENCH_FETCHED_DIR:-/tmp/tidewell-bench-fetched}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for tool in hyperfine git python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing" >&2; exit 1; }
done

if [[ ! -e $dir/.generated ]]; then
  rm -rf "$dir"
  mkdir -p "$dir/origin" "$dir/project/build/_deps"
  echo "Generating the project in $dir…"
  python3 - "$dir/origin" <<'PY'
import os, random, sys
random.seed(7)
root = sys.argv[1]
for f in range(2000):
    folder = os.path.join(root, "src", f"module{f // 40}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"file{f}.cpp"), "w") as out:
        out.write("// generated\n" * random.randint(20, 400))
PY
  g=(git -c user.name=Bench -c user.email=bench@example.com -c init.defaultBranch=main)
  "${g[@]}" -C "$dir/origin" init -q
  "${g[@]}" -C "$dir/origin" add -A
  "${g[@]}" -C "$dir/origin" commit -q -m Sources
  "${g[@]}" -C "$dir/origin" tag -a v1.0 -m Release
  for i in $(seq 0 9); do
    git clone -q "file://$dir/origin" "$dir/project/build/_deps/dep$i-src"
  done
  echo "project(Fetched CXX)" >"$dir/project/CMakeLists.txt"
  touch "$dir/.generated"
fi
echo "Project: $dir/project, $(find "$dir/project" | wc -l) entries, $(nproc) cores"

export TIDEWELL_HOME=$work/home HOME=$work/home XDG_DATA_HOME=$work/home/data
mkdir -p "$HOME"
scan() {  # ENGINE NAME
  echo "$1 --db $work/$2.sqlite scan --json --idle-days 30 --max-depth 8 --root $dir/project"
}
offered() {
  $1 --db "$work/check.sqlite" scan --json --idle-days 30 --max-depth 8 --root "$dir/project" |
    python3 -c 'import json, sys; print(sum(len(p["artifacts"]) for p in json.load(sys.stdin)["projects"]))'
}
for state in "as cloned" touched; do
  if [[ $state == touched ]]; then
    find "$dir/project/build/_deps" -path '*/.git' -prune -o -type f -exec touch -d '2 days ago' {} +
  fi
  echo
  echo "== Clones $state (folders offered: baseline $(offered "$baseline"), engine $(offered "$engine"))"
  hyperfine -N --warmup 3 --runs 20 -n baseline "$(scan "$baseline" baseline)" -n engine "$(scan "$engine" engine)"
done
# The next run starts from clones as Git left them.
for i in $(seq 0 9); do
  git -C "$dir/project/build/_deps/dep$i-src" update-index -q --refresh >/dev/null || true
done
