#!/usr/bin/env bash
# Engine benchmark (not part of the test run). Generates a tree of about 300
# projects and 185,000 entries, then compares the engine's whole scan with
# disk walkers measuring alone, in one hyperfine run (warm cache, and cold
# cache when the page cache can be dropped), reports the engine's peak memory,
# and checks its project totals against du -B1. The engine also scans a tree
# of 100 real Git repositories, whose indexes it reads; with a baseline engine
# (another build, for example of main), both are timed on both trees in the
# same run, alternately (the machine's other load then weighs on both alike),
# and the change in speed is told.
#
#   bench/engine/bench.sh [ENGINE [BASELINE]]   (default build/Tidewell/bin/tidewell-engine)
#   BENCH_DIR=/path      keeps the generated tree there (default /tmp/tidewell-bench)
#   BENCH_GIT_DIR=/path  keeps the Git repositories there (default BENCH_DIR-git)
# With bindfs installed, run as root, the tree is also scanned through a FUSE
# share of it, against the same tree direct.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
engine=$(realpath "${1:-$here/../../build/Tidewell/bin/tidewell-engine}")
baseline=${2:+$(realpath "$2")}
tree=${BENCH_DIR:-/tmp/tidewell-bench}
gittree=${BENCH_GIT_DIR:-$tree-git}
work=$(mktemp -d)
trap 'umount -l "$work/share" 2>/dev/null || true; rm -rf --one-file-system "$work"' EXIT

for tool in hyperfine du ncdu gdu python3 git /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is missing (apt-get install hyperfine ncdu gdu time)" >&2; exit 1; }
done
[[ -x $engine ]] || { echo "bench: no engine at $engine (build it first)" >&2; exit 1; }
[[ -z $baseline || -x $baseline ]] || { echo "bench: no baseline engine at $2" >&2; exit 1; }

# A tree is made again when the generator changed since it was made.
generator=$(sha1sum "$here/make_tree.py" | cut -d' ' -f1)
generate() {  # FOLDER [OPTIONS]
  local dir=$1
  shift
  if [[ $(cat "$dir/.generated" 2>/dev/null) != "$generator" ]]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "Generating the tree in $dir…"
    python3 "$here/make_tree.py" "$dir" "$@" >/dev/null
    echo "$generator" >"$dir/.generated"
  fi
}
generate "$tree"
generate "$gittree" --git-repos 100
echo "Tree: $tree, $(find "$tree" | wc -l) entries, $(du -sh "$tree" | cut -f1) on disk, $(nproc) cores"
echo "Git tree: $gittree, 100 repositories, $(find "$gittree" | wc -l) entries"

# The engine runs with a home of its own, so the global caches it measures
# are empty and only the tree is walked.
export TIDEWELL_HOME=$work/home HOME=$work/home XDG_DATA_HOME=$work/home/data
mkdir -p "$HOME"
scan=("$engine" --db "$work/bench.sqlite" scan --json --idle-days 30 --max-depth 8 --root "$tree/projects")
scan_cmd="${scan[*]}"
scans() {  # ENGINE ROOT [WHICH]: the scan command; a baseline keeps a database of its own, as its schema may be older
  echo "$1 --db $work/bench-${3:-engine}-$(basename "$2").sqlite scan --json --idle-days 30 --max-depth 8 --root $2"
}
engines=(-n tidewell-engine "$scan_cmd" -n "tidewell-engine, git repositories" "$(scans "$engine" "$gittree/repos")")
can_drop=no
[[ $(id -u) == 0 ]] && (echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null && can_drop=yes

echo
echo "== Warm cache"
hyperfine -N --warmup 3 --runs 15 --export-json "$work/warm.json" \
  "${engines[@]}" \
  -n "du -s" "du -s $tree/projects" \
  -n "ncdu -0 -o /dev/null" "ncdu -0 -o /dev/null $tree/projects" \
  -n "gdu -npc" "gdu -npc $tree/projects"

if [[ $can_drop == yes ]]; then
  echo
  echo "== Cold cache"
  hyperfine -N --runs 5 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'" --export-json "$work/cold.json" \
    "${engines[@]}" -n "du -s" "du -s $tree/projects" \
    -n "gdu -npc" "gdu -npc $tree/projects"
else
  echo
  echo "(cold cache skipped: the page cache cannot be dropped here)"
fi

if [[ -n $baseline ]]; then
  echo
  echo "== Before and after: the baseline and the engine, alternately, on both trees"
  python3 - "$work/change.txt" "$can_drop" "$(scans "$baseline" "$tree/projects" baseline)" "$(scans "$engine" "$tree/projects")" \
    "$(scans "$baseline" "$gittree/repos" baseline)" "$(scans "$engine" "$gittree/repos")" <<'PY'
import statistics, subprocess, sys, time
out, can_drop, *commands = sys.argv[1:]
trees = {"fixture tree": commands[0:2], "100 Git repositories": commands[2:4]}

def timed(command, cold):
    if cold:
        subprocess.run(["sh", "-c", "sync; echo 3 > /proc/sys/vm/drop_caches"], check=True)
    start = time.perf_counter()
    subprocess.run(command.split(), check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start

lines = []
for cache, rounds in (("warm", 21), ("cold", 7)):
    if cache == "cold" and can_drop != "yes":
        continue
    for tree, (before, after) in trees.items():
        if cache == "warm":
            for command in (before, after, before, after):
                timed(command, False)
        times = {before: [], after: []}
        for r in range(rounds):
            for command in ((before, after) if r % 2 == 0 else (after, before)):
                times[command].append(timed(command, cache == "cold"))
        b, a = statistics.median(times[before]), statistics.median(times[after])
        change = a / b - 1
        line = (f"{cache}, {tree}: baseline {b*1000:.0f} ms, engine {a*1000:.0f} ms (medians of {rounds}): "
                f"{change*100:+.1f}%, {'within' if change <= 0.10 else 'MORE than'} 10% slower")
        print(line, flush=True)
        lines.append(line)
open(out, "w").write("\n".join(lines) + "\n")
PY
fi

if command -v bindfs >/dev/null && [[ $(id -u) == 0 ]]; then
  # A scan folder on FUSE is walked in a helper process: the same tree
  # through a FUSE share (bindfs) and direct, alternately, as a ratio.
  echo
  echo "== The tree through a FUSE share (bindfs) and direct"
  share=$work/share
  mkdir -p "$share"
  bindfs "$tree" "$share"
  fuse=(-n "direct" "$(scans "$engine" "$tree/projects")" -n "FUSE share" "$(scans "$engine" "$share/projects" share)")
  [[ -n $baseline ]] && fuse+=(-n "baseline, FUSE share" "$(scans "$baseline" "$share/projects" baseline-share)")
  hyperfine -N --warmup 2 --runs 10 --export-json "$work/fuse.json" "${fuse[@]}" || true
  umount "$share"
  python3 - "$work/fuse.json" <<'PY'
import json, sys
r = {x["command"]: x["median"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"FUSE share / direct: {r['FUSE share'] / r['direct']:.2f}x (medians)")
if "baseline, FUSE share" in r:
    print(f"FUSE share, engine / baseline: {r['FUSE share'] / r['baseline, FUSE share']:.2f}x (medians)")
PY
fi

echo
echo "== Peak memory of the engine's scan"
/usr/bin/time -v "${scan[@]}" 2>"$work/time.txt" >"$work/dashboard.json"
grep -E "Maximum resident set size|Elapsed" "$work/time.txt"

echo
echo "== Verdict"
python3 - "$work/warm.json" "$work/time.txt" "$work/dashboard.json" "$work/change.txt" <<'PY'
import json, os, subprocess, sys
warm = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
if os.path.exists(sys.argv[4]):
    print(open(sys.argv[4]).read(), end="")
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
