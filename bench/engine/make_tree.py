#!/usr/bin/env python3
"""Generates a tree of development projects for the engine benchmark: about
300 projects of five kinds, with a pnpm-style content store whose files are
hard-linked into the node projects, about 185,000 entries in all."""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(1234)
entries = 0


def write(path, size):
    global entries
    with open(path, "wb") as f:
        f.write(b"x" * size)
    entries += 1


def mkdir(path):
    global entries
    os.makedirs(path, exist_ok=True)
    entries += 1


def size():
    return rng.choice([120, 600, 1800, 3000, 5000, 9000, 20000])


def sources(p, n):
    mkdir(f"{p}/src")
    for i in range(n):
        write(f"{p}/src/file{i}.txt", size())
    mkdir(f"{p}/.git/objects")
    for i in range(40):
        write(f"{p}/.git/objects/o{i}", size())


store = f"{root}/pnpm-store"
mkdir(store)
store_files = []
for i in range(2000):
    path = f"{store}/f{i:05d}"
    write(path, size())
    store_files.append(path)

projects = f"{root}/projects"
mkdir(projects)
kinds = ["node", "rust", "python", "flutter", "android"]
for n in range(300):
    kind = kinds[n % 5]
    p = f"{projects}/group{n % 12}/{kind}-{n:03d}"
    mkdir(p)
    sources(p, 55)
    if kind == "node":
        write(f"{p}/package.json", 200)
        for k in range(50):
            pkg = f"{p}/node_modules/.pnpm/pkg{k}@1.0.0/node_modules/pkg{k}"
            os.makedirs(pkg, exist_ok=True)
            entries += 4
            for j in range(11):
                os.link(rng.choice(store_files), f"{pkg}/m{j}.js")
                entries += 1
    elif kind == "rust":
        write(f"{p}/Cargo.toml", 200)
        for d in range(10):
            mkdir(f"{p}/target/debug/deps{d}")
            for j in range(45):
                write(f"{p}/target/debug/deps{d}/lib{j}.rlib", size())
    elif kind == "python":
        write(f"{p}/pyproject.toml", 200)
        write(f"{p}/.venv/pyvenv.cfg", 80)
        for k in range(30):
            mkdir(f"{p}/.venv/lib/site-packages/pkg{k}")
            for j in range(15):
                write(f"{p}/.venv/lib/site-packages/pkg{k}/m{j}.py", size())
    elif kind == "flutter":
        write(f"{p}/pubspec.yaml", 200)
        for d in range(10):
            mkdir(f"{p}/build/out{d}")
            for j in range(40):
                write(f"{p}/build/out{d}/a{j}", size())
        mkdir(f"{p}/.dart_tool")
        for j in range(30):
            write(f"{p}/.dart_tool/t{j}", size())
    else:
        write(f"{p}/build.gradle", 200)
        for d in range(10):
            mkdir(f"{p}/app/build/intermediates{d}")
            for j in range(40):
                write(f"{p}/app/build/intermediates{d}/c{j}.dex", size())
        mkdir(f"{p}/.gradle")
        for j in range(20):
            write(f"{p}/.gradle/g{j}", size())
print(entries)
