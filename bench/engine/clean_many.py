#!/usr/bin/env python3
"""Times a clean of many folders of one name, to show how it grows.

Not part of the test run. For each count (1,000, 2,000 and 4,000 by default)
a Python project is made with that many __pycache__ folders, and cleaned as
the application cleans: a dry run, then the real clean of the folders it
listed. Every engine given is timed on the same counts in the same run, so
a baseline build of older code can stand beside the current one:

    bench/engine/clean_many.py [ENGINE ...] [--counts 1000,2000,4000] [--runs N]

The default engine is build/Tidewell/bin/tidewell-engine. The verdict is on
the first engine: the largest count takes at most 5 times as long as the
smallest multiplied by how many times larger it is over 4 (4,000 folders
at most 5 times 1,000), i.e. the time grows about linearly.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
default_engine = os.path.join(here, "../../build/Tidewell/bin/tidewell-engine")


def engines_given(paths):
    engines = [os.path.abspath(e) for e in paths]
    for e in engines:
        if not os.access(e, os.X_OK):
            sys.exit(f"bench: no engine at {e} (build it first)")
    return engines


def make_project(root, count):
    project = os.path.join(root, "tree", "proj")
    os.makedirs(project)
    with open(os.path.join(project, "pyproject.toml"), "w") as f:
        f.write("[project]\nname = 'proj'\n")
    for i in range(count):
        folder = os.path.join(project, f"m{i}", "__pycache__")
        os.makedirs(folder)
        with open(os.path.join(folder, "a.cpython-311.pyc"), "wb") as f:
            f.write(b"x" * 2000)
    return project


def timed(command, env):
    start = time.perf_counter()
    r = subprocess.run(command, env=env, capture_output=True)
    elapsed = time.perf_counter() - start
    if r.returncode != 0:
        sys.exit(f"bench: {' '.join(command[:6])}… exited {r.returncode}: {r.stderr.decode(errors='replace')}")
    return elapsed, json.loads(r.stdout)


def one_run(engine, count):
    work = tempfile.mkdtemp(prefix="tidewell-clean-many-")
    try:
        home, data = os.path.join(work, "home"), os.path.join(work, "data")
        os.makedirs(home)
        os.makedirs(data)
        project = make_project(work, count)
        env = dict(os.environ, HOME=home, TIDEWELL_HOME=home, XDG_DATA_HOME=data)
        base = [engine, "--db", os.path.join(work, "tidewell.sqlite"), "clean", "--project", project, "--json", "--caution"]
        preview_s, preview = timed(base, env)
        listed = [i["path"] for i in preview["items"] if i["success"]]
        if len(listed) != count:
            sys.exit(f"bench: the dry run listed {len(listed)} folders, not {count}")
        command = base + ["--execute"]
        for p in listed:
            command += ["--artifact", p]
        clean_s, report = timed(command, env)
        moved = sum(1 for i in report["items"] if i["success"])
        if moved != count:
            sys.exit(f"bench: the clean moved {moved} folders, not {count}")
        if len(os.listdir(os.path.join(data, "Trash", "info"))) != count:
            sys.exit("bench: the Trash does not hold one info file per folder")
        return preview_s, clean_s
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("engines", nargs="*", default=[default_engine])
    parser.add_argument("--counts", default="1000,2000,4000")
    parser.add_argument("--runs", type=int, default=1, help="runs per count; the fastest is kept")
    args = parser.parse_args()
    counts = [int(c) for c in args.counts.split(",")]
    engines = engines_given(args.engines)

    print(f"Clean of N __pycache__ folders in one project, {args.runs} run(s) each, fastest kept; {os.cpu_count()} cores")
    results = {}
    # Engines take turns on each count, so a machine busy with other work weighs
    # on all of them alike.
    for count in counts:
        for engine in engines:
            best = min((one_run(engine, count) for _ in range(args.runs)), key=lambda r: r[1])
            results[(engine, count)] = best

    width = max(len(e) for e in engines)
    print(f"{'engine':<{width}}  {'folders':>7}  {'dry run':>8}  {'clean':>8}  {'clean / first':>13}")
    for engine in engines:
        first = results[(engine, counts[0])][1]
        for count in counts:
            preview_s, clean_s = results[(engine, count)]
            print(f"{engine:<{width}}  {count:>7}  {preview_s:>7.2f}s  {clean_s:>7.2f}s  {clean_s / first:>12.2f}x")

    engine = engines[0]
    smallest, largest = counts[0], counts[-1]
    ratio = results[(engine, largest)][1] / results[(engine, smallest)][1]
    allowed = 5 * (largest / smallest) / 4
    print(f"{engine}: {largest} folders take "
          f"{ratio:.2f}x the time of {smallest}: {'within' if ratio <= allowed else 'NOT within'} {allowed:g}x")


if __name__ == "__main__":
    main()
