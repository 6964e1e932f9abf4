#!/usr/bin/env python3
"""Generates a tree of development projects for the engine benchmark: about
300 projects of five kinds, with a pnpm-style content store whose files are
hard-linked into the node projects, about 185,000 entries in all.

    make_tree.py ROOT                   the fixture tree
    make_tree.py ROOT --git-repos N     N real Git repositories instead, each a
                                        project with a few commits, ignored and
                                        untracked artifact folders, and some
                                        committed ones (a build script, a dist)
"""
import os
import random
import subprocess
import sys

root = sys.argv[1]
git_repos = int(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--git-repos" else 0
rng = random.Random(1234)
entries = 0


def write(path, size):
    global entries
    os.makedirs(os.path.dirname(path), exist_ok=True)
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


def git(repo, *args):
    subprocess.run(["git", "-C", repo, "-c", "user.name=Bench", "-c", "user.email=bench@example.com",
                    "-c", "init.defaultBranch=main", *args], check=True, stdout=subprocess.DEVNULL)


def files(folder, n, prefix="f"):
    mkdir(folder)
    for i in range(n):
        write(f"{folder}/{prefix}{i}.txt", size())


def git_repositories(n):
    """Each repository a project whose sources are committed over three
    commits; its dependency and build folders ignored or left untracked, and
    some folders the rules name committed (they stay source)."""
    kinds = ["node", "python", "vite", "rust", "monorepo"]
    for r in range(n):
        kind = kinds[r % len(kinds)]
        p = f"{root}/repos/group{r % 10}/{kind}-{r:03d}"
        mkdir(p)
        git(p, "init", "-q")
        files(f"{p}/src", 60)
        ignore = {"node": "node_modules/\n", "python": ".venv/\n.pytest_cache/\n", "vite": "node_modules/\n",
                  "rust": "target/\n", "monorepo": "node_modules/\n"}[kind]
        with open(f"{p}/.gitignore", "w") as f:
            f.write(ignore)
        marker = {"node": "package.json", "python": "pyproject.toml", "vite": "vite.config.ts", "rust": "Cargo.toml",
                  "monorepo": "package.json"}[kind]
        write(f"{p}/{marker}", 200)
        if kind == "vite":
            write(f"{p}/package.json", 200)
            files(f"{p}/dist", 20, "chunk")  # committed build output
        if kind == "python":
            files(f"{p}/build", 2, "release")  # committed scripts
        if kind == "monorepo":
            for a in range(4):
                write(f"{p}/apps/app{a}/package.json", 200)
                files(f"{p}/apps/app{a}/src", 30)
        git(p, "add", "-A")
        git(p, "commit", "-q", "-m", "Start")
        files(f"{p}/src/more", 30)
        git(p, "add", "-A")
        git(p, "commit", "-q", "-m", "More")
        for i in range(0, 60, 7):
            write(f"{p}/src/f{i}.txt", size())
        git(p, "commit", "-q", "-am", "Edit")
        # What the tools leave: ignored, untracked, and more inside committed folders.
        if kind in ("node", "vite", "monorepo"):
            for k in range(20):
                files(f"{p}/node_modules/pkg{k}", 12, "m")
        if kind == "monorepo":
            for a in range(4):
                files(f"{p}/apps/app{a}/.next/cache", 25)
        if kind == "vite":
            files(f"{p}/dist/assets", 30)
        if kind == "python":
            write(f"{p}/.venv/pyvenv.cfg", 80)
            for k in range(15):
                files(f"{p}/.venv/lib/site-packages/pkg{k}", 12, "m")
            files(f"{p}/build/lib", 40)
            files(f"{p}/.pytest_cache/v", 10)
        if kind == "rust":
            for d in range(6):
                files(f"{p}/target/debug/deps{d}", 40, "lib")


if git_repos:
    git_repositories(git_repos)
    print(entries)
    sys.exit(0)

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
