#!/usr/bin/env python3
"""Times a dry run and a clean of many folders beside thousands of mounts.

Not part of the test run. Container hosts carry thousands of mounts; the
clean checks every folder against them before it moves it. A Python project
with 500 __pycache__ folders is cleaned as the application cleans (a dry run,
then the real clean of the folders it listed), in turns without and with
2,000 extra tmpfs mounts beside it, on the project's own filesystem as a
container host's are. That filesystem is a tmpfs, so the time a disk takes to
sync each move does not hide what the checks cost. The script runs itself in
a mount namespace of its own (unshare, with a user namespace when not root),
so no mount reaches the host.
Every engine given is timed in the same run, so a baseline build of older code
can stand beside the current one:

    bench/engine/clean_beside_mounts.py [ENGINE ...] [--folders 500] [--mounts 2000] [--runs 5]

The verdict is on the first engine: with the mounts, the dry run takes at most
2 times and the clean at most 3 times its time without them (medians).
"""
import argparse
import ctypes
import os
import shutil
import statistics
import sys
import tempfile

from clean_many import default_engine, engines_given, one_run

parser = argparse.ArgumentParser()
parser.add_argument("engines", nargs="*", default=[default_engine])
parser.add_argument("--folders", type=int, default=500)
parser.add_argument("--mounts", type=int, default=2000)
parser.add_argument("--runs", type=int, default=5, help="runs of each engine with and without the mounts; medians are told")
args = parser.parse_args()
engines = engines_given(args.engines)

if os.environ.get("TIDEWELL_BENCH_NAMESPACE") != "1":
    unshare = ["unshare", "--mount", "--propagation", "private"] + (["--map-root-user"] if os.geteuid() != 0 else [])
    os.environ["TIDEWELL_BENCH_NAMESPACE"] = "1"
    os.execvp("unshare", unshare + [sys.executable, os.path.abspath(__file__), *sys.argv[1:]])

libc = ctypes.CDLL(None, use_errno=True)
MNT_DETACH = 2
holder = tempfile.mkdtemp(prefix="tidewell-mounts-")
if libc.mount(b"tmpfs", holder.encode(), b"tmpfs", 0, b"size=2g") != 0:
    sys.exit(f"bench: cannot mount a tmpfs at {holder}: {os.strerror(ctypes.get_errno())}")
tempfile.tempdir = holder  # the projects, homes and trashes of the runs
points = [os.path.join(holder, "mounts", f"m{i}") for i in range(args.mounts)]
for p in points:
    os.makedirs(p)


def mount_all():
    for p in points:
        if libc.mount(b"tmpfs", p.encode(), b"tmpfs", 0, b"size=64k") != 0:
            sys.exit(f"bench: cannot mount a tmpfs at {p}: {os.strerror(ctypes.get_errno())}")


def unmount_all():
    for p in points:
        libc.umount2(p.encode(), MNT_DETACH)


lines = sum(1 for _ in open("/proc/self/mountinfo"))
print(f"Dry run and clean of {args.folders} __pycache__ folders, without and with {args.mounts} extra mounts "
      f"({lines} in the table without them); {args.runs} runs each, medians; {os.cpu_count()} cores")
times = {}  # (engine, with mounts) -> [(dry run, clean)]
try:
    # Without and with take turns, and so do the engines, so a machine busy
    # with other work weighs on all of them alike.
    for r in range(args.runs):
        for with_mounts in ((False, True) if r % 2 == 0 else (True, False)):
            if with_mounts:
                mount_all()
            for engine in engines:
                times.setdefault((engine, with_mounts), []).append(one_run(engine, args.folders))
            if with_mounts:
                unmount_all()
finally:
    unmount_all()
    libc.umount2(holder.encode(), MNT_DETACH)
    shutil.rmtree(holder, ignore_errors=True)

width = max(len(e) for e in engines)
print(f"{'engine':<{width}}  {'mounts':>6}  {'dry run':>8}  {'clean':>8}")
ratios = {}
for engine in engines:
    medians = {}
    for with_mounts in (False, True):
        runs = times[(engine, with_mounts)]
        medians[with_mounts] = (statistics.median(t[0] for t in runs), statistics.median(t[1] for t in runs))
        print(f"{engine:<{width}}  {args.mounts if with_mounts else 0:>6}  {medians[with_mounts][0]:>7.3f}s  {medians[with_mounts][1]:>7.3f}s")
    ratios[engine] = (medians[True][0] / medians[False][0], medians[True][1] / medians[False][1])
    print(f"{'':<{width}}  {'ratio':>6}  {ratios[engine][0]:>7.2f}x  {ratios[engine][1]:>7.2f}x")

dry, clean = ratios[engines[0]]
print(f"{engines[0]}: beside {args.mounts} mounts the dry run takes {dry:.2f}x its time without them "
      f"({'within' if dry <= 2 else 'NOT within'} 2x), the clean {clean:.2f}x ({'within' if clean <= 3 else 'NOT within'} 3x)")
