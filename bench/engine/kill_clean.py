#!/usr/bin/env python3
"""Kills cleans with SIGKILL at random points, then checks that nothing was lost.

Not part of the test run (it takes a minute or two). A Python project with
150 __pycache__ folders is cleaned again and again, each clean killed after a
random delay within the time a whole clean takes; folders are made again
whenever fewer than 100 are left, so every clean has 100 or more to move.
After the kills, one clean runs to its end. Then:

- every file ever made is still in the project or in the Trash, whole;
- every info file in the Trash has its folder, and every folder its info file;
- the history credits exactly the folders that reached the Trash, once each;
- no clean is left pending.

    bench/engine/kill_clean.py [ENGINE] [--kills N] [--seed S]
"""
import argparse
import os
import random
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import json

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser()
parser.add_argument("engine", nargs="?", default=os.path.join(here, "../../build/Tidewell/bin/tidewell-engine"))
parser.add_argument("--kills", type=int, default=60)
parser.add_argument("--folders", type=int, default=150)
parser.add_argument("--seed", type=int, default=int(time.time()))
args = parser.parse_args()
random.seed(args.seed)

work = tempfile.mkdtemp(prefix="tidewell-kill-")
home, data = os.path.join(work, "home"), os.path.join(work, "data")
project = os.path.join(work, "tree", "proj")
db = os.path.join(work, "tidewell.sqlite")
trash = os.path.join(data, "Trash")
for d in (home, data, project):
    os.makedirs(d)
with open(os.path.join(project, "pyproject.toml"), "w") as f:
    f.write("[project]\nname = 'proj'\n")
env = dict(os.environ, HOME=home, TIDEWELL_HOME=home, XDG_DATA_HOME=data)
command = [os.path.abspath(args.engine), "--db", db, "clean", "--project", project, "--json", "--execute"]

made = set()  # a token per file ever made; each file holds its own
serial = 0


def make_missing():
    global serial
    for i in range(args.folders):
        folder = os.path.join(project, f"pkg{i:03}", "__pycache__")
        if os.path.exists(folder):
            continue
        os.makedirs(folder)
        for k in range(2):
            serial += 1
            token = f"file {serial}"
            with open(os.path.join(folder, f"m{k}.pyc"), "w") as f:
                f.write(token + "\n" + "x" * 3000)
            made.add(token)


def remaining():
    return sum(os.path.isdir(os.path.join(project, f"pkg{i:03}", "__pycache__")) for i in range(args.folders))


def tokens_below(root):
    found = []
    for folder, _, files in os.walk(root):
        for name in files:
            if name.endswith(".pyc"):
                with open(os.path.join(folder, name)) as f:
                    found.append(f.readline().strip())
    return found


# How long one whole clean takes here, on a copy of the project's size.
make_missing()
start = time.monotonic()
subprocess.run(command, env=env, stdout=subprocess.DEVNULL, check=True)
whole = time.monotonic() - start
print(f"seed {args.seed}; a whole clean of {args.folders} folders takes {whole * 1000:.0f} ms")

kills = 0
while kills < args.kills:
    if remaining() < 100:
        make_missing()
    before = remaining()
    child = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(random.uniform(0, whole))
    if child.poll() is None:
        child.send_signal(signal.SIGKILL)
        kills += 1
    child.wait()
    print(f"  clean {kills}: {before} folders, {before - remaining()} moved before the kill", flush=True)

final = subprocess.run(command, env=env, capture_output=True, text=True)
print(f"final clean: exit {final.returncode}, {len(json.loads(final.stdout)['items']) if final.returncode == 0 else 0} items")

problems = []
kept = tokens_below(project) + tokens_below(os.path.join(trash, "files"))
lost = made - set(kept)
doubled = len(kept) - len(set(kept))
infos = {n[: -len(".trashinfo")] for n in os.listdir(os.path.join(trash, "info"))}
entries = set(os.listdir(os.path.join(trash, "files")))
orphan_infos, bare_folders = infos - entries, entries - infos
con = sqlite3.connect(db)
credited = []
for (text,) in con.execute("SELECT json FROM operations WHERE dry_run = 0"):
    credited += [i["path"] for i in json.loads(text)["items"] if i["success"]]
pending = con.execute("SELECT count(*) FROM pending_cleans").fetchone()[0]

print(f"{len(made)} files made, {len(lost)} lost, {doubled} found twice")
print(f"{len(entries)} folders in the Trash; {len(orphan_infos)} info files without a folder; "
      f"{len(bare_folders)} folders without an info file")
print(f"{len(credited)} moves credited in the history; {pending} cleans pending")
if final.returncode != 0:
    problems.append("the final clean failed: " + final.stderr.strip())
if lost or doubled:
    problems.append("files lost or duplicated")
if orphan_infos or bare_folders:
    problems.append("the Trash is not whole: " + ", ".join(sorted(orphan_infos | bare_folders)[:10]))
if len(credited) != len(entries):
    problems.append("the history does not credit exactly the folders in the Trash")
if pending:
    problems.append("a clean is still pending")
if remaining():
    problems.append("folders are left after the final clean")
if problems:
    print("FAILED (work folder kept: " + work + ")")
    for p in problems:
        print("  " + p)
    sys.exit(1)
subprocess.run(["rm", "-rf", work])
print("OK")
