#!/usr/bin/env bash
# Engine benchmark (not part of the test run). Generates a tree of about 300
# projects and 185,000 entries, then compares the engine's whole scan with
# disk walkers measuring alone, in one hyperfine run (warm cache, and cold
# cache when the page cache can be dropped), reports the engine's peak memory,
# and checks its project totals against du -B1.
#
#   bench/engine/bench.sh [ENGINE]     (default build/Tidewell/bin/tidewell-engine)
#   BENCH_DIR=/path  keeps the generated tree there (default /tmp/tidewell-bench)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
engine=$(realpath "${1:-$here/../../build/Tidewell/bin/tidewell-engine}")
tree=${BENCH_DIR:-/tmp/tidewell-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in hyperfine du ncdu gdu python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (apt-get install hyperfine ncdu gdu time)" >&2; exit 1; }
done
[[ -x $engine ]] || { echo "bench: no engine at $engine (build it first)" >&2; exit 1; }

if [[ ! -f $tree/.generated ]]; then
  rm -rf "$tree"
  mkdir -p "$tree"
  echo "Generating the tree in $tree…"
  python3 "$here/make_tree.py" "$tree" >/dev/null
  touch "$tree/.generated"
fi
echo "Tree: $tree, $(find "$tree" | wc -l) entries, $(du -sh "$tree" | cut -f1) on disk, $(nproc) cores"

# The engine runs with a home of its own, so the global caches it measures
# are empty and only the tree is walked.
export TIDEWELL_HOME=$work/home HOME=$work/home XDG_DATA_HOME=$work/home/data
mkdir -p "$HOME"
scan=("$engine" --db "$work/bench.sqlite" scan --json --idle-days 30 --max-depth 8 --root "$tree/projects")
scan_cmd="${scan[*]}"

echo
echo "== Warm cache"
hyperfine -N --warmup 3 --runs 15 --export-json "$work/warm.json" \
  -n tidewell-engine "$scan_cmd" \
  -n "du -s" "du -s $tree/projects" \
  -n "ncdu -0 -o /dev/null" "ncdu -0 -o /dev/null $tree/projects" \
  -n "gdu -npc" "gdu -npc $tree/projects"

if [[ $(id -u) == 0 ]] && (echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
  echo
  echo "== Cold cache"
  hyperfine -N --runs 5 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'" \
    -n tidewell-engine "$scan_cmd" -n "du -s" "du -s $tree/projects" \
    -n "gdu -npc" "gdu -npc $tree/projects"
else
  echo
  echo "(cold cache skipped: the page cache cannot be dropped here)"
fi

echo
echo "== Peak memory of the engine's scan"
/usr/bin/time -v "${scan[@]}" 2>"$work/time.txt" >"$work/dashboard.json"
grep -E "Maximum resident set size|Elapsed" "$work/time.txt"

echo
echo "== Verdict"
python3 - "$work/warm.json" "$work/time.txt" "$work/dashboard.json" <<'PY'
import json, subprocess, sys
warm = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
engine, gdu = warm["tidewell-engine"]["mean"], warm["gdu -npc"]["mean"]
rss_kb = next(int(l.split()[-1]) for l in open(sys.argv[2]) if "Maximum resident" in l)
print(f"engine {engine*1000:.0f} ms, gdu {gdu*1000:.0f} ms, du {warm['du -s']['mean']*1000:.0f} ms, "
      f"ncdu {warm['ncdu -0 -o /dev/null']['mean']*1000:.0f} ms (warm means)")
print(f"engine faster than gdu: {'yes' if engine < gdu else 'NO'} ({gdu/engine:.2f}x)")
print(f"engine peak memory {rss_kb/1024:.1f} MB: {'under' if rss_kb < 100*1024 else 'NOT under'} 100 MB")

d = json.load(open(sys.argv[3]))
bad = 0
for p in d["projects"]:
    du = int(subprocess.run(["du", "-B1", "-s", p["path"]], capture_output=True, text=True).stdout.split()[0])
    if du != p["total_bytes"]:
        bad += 1
        print(f"  differs: {p['path']} engine {p['total_bytes']} du {du}")
top = [p["path"] for p in d["projects"]]
du_all = int(subprocess.run(["du", "-B1", "-s", "-c", *top], capture_output=True, text=True).stdout.split()[-2])
print(f"{len(d['projects'])} projects; totals equal to du -B1: {len(d['projects']) - bad}/{len(d['projects'])}; "
      f"dashboard total {d['total_bytes']} vs du -B1 -c {du_all}: {'equal' if du_all == d['total_bytes'] else 'DIFFERENT'}")
PY
