#!/usr/bin/env python3
"""create_bench.py BUILD_DIR [REPEAT]: btshell create against mktorrent.

A 1 GiB folder of mixed file sizes is generated under /tmp (three files of
256 MiB, then 256 MiB of small files from 1 KiB to 128 KiB in 64 folders),
read once so that the page cache is warm for both tools, and made into a seed
REPEAT times (default 3) by each, in turns: `btshell create --piece-size 256K`
and `mktorrent -l 18 -t <cores>` (256 KiB pieces both). `btshell verify` of
our seed is timed the same way. The floor is the machine's SHA-1 over the
same number of bytes in 256 KiB pieces held in memory, on every core
(bench_sha1_floor). The two seeds' info dictionaries must be the same bytes.
Prints a Markdown table: wall seconds of each run, the median, throughput,
CPU seconds (user + system) of the median run, and both against the
floor's. Every process is waited for; the folder is removed at the end.
"""
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
PIECE = 256 * 1024
LARGE = [256 * MIB] * 3
SMALL_TOTAL = 256 * MIB


def generate(folder):
    rng = random.Random(18)
    os.makedirs(folder)
    for i, size in enumerate(LARGE):
        with open(os.path.join(folder, "large%d.bin" % i), "wb") as f:
            for _ in range(size // (8 * MIB)):
                f.write(os.urandom(8 * MIB))
    left, n = SMALL_TOTAL, 0
    while left > 0:
        size = min(left, rng.randint(1024, 128 * 1024))
        sub = os.path.join(folder, "small", "%02d" % (n % 64))
        os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, "f%05d.dat" % n), "wb") as f:
            f.write(os.urandom(size))
        left -= size
        n += 1
    return len(LARGE) + n


def warm(folder):
    for root, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                while f.read(8 * MIB):
                    pass


def timed(argv):
    """Wall seconds and CPU seconds (user + system) of one run of argv."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    began = time.monotonic()
    done = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    wall = time.monotonic() - began
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        sys.exit("create_bench: %s failed (%d): %s" % (argv[0], done.returncode, done.stderr.decode()[-500:]))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def info_of(path):
    data = open(path, "rb").read()
    at = data.find(b"4:infod")
    return data[at + 6:-1]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: create_bench.py BUILD_DIR [REPEAT]")
    build = os.path.abspath(sys.argv[1])
    repeat = int(sys.argv[2]) if len(sys.argv) == 3 else 3
    btshell = os.path.join(build, "host", "btshell")
    floor = os.path.join(build, "bench", "bench_sha1_floor")
    for f in (btshell, floor):
        if not os.path.isfile(f):
            sys.exit("create_bench: no %s (make bench-create builds it)" % f)
    if not shutil.which("mktorrent"):
        sys.exit("create_bench: mktorrent is not installed (make deps)")
    cores = os.cpu_count() or 1
    work = tempfile.mkdtemp(prefix="create-bench.", dir="/tmp")
    try:
        data = os.path.join(work, "data")
        count = generate(data)
        total = sum(LARGE) + SMALL_TOTAL
        warm(data)
        ours, theirs = os.path.join(work, "ours.torrent"), os.path.join(work, "mktorrent.torrent")
        commands = {
            "btshell create": [btshell, "create", data, "-o", ours, "--piece-size", "256K", "--force"],
            "mktorrent -t %d" % cores: ["mktorrent", "-l", "18", "-t", str(cores), "-o", theirs, data],
        }
        runs = {name: [] for name in commands}
        for i in range(repeat):
            order = list(commands) if i % 2 == 0 else list(reversed(list(commands)))
            for name in order:
                if name.startswith("mktorrent") and os.path.exists(theirs):
                    os.remove(theirs)  # mktorrent replaces nothing
                runs[name].append(timed(commands[name]))
        if info_of(ours) != info_of(theirs):
            sys.exit("create_bench: the two seeds' info dictionaries differ")
        runs["btshell verify"] = [timed([btshell, "verify", ours, data]) for _ in range(repeat)]
        floors = []
        for _ in range(repeat):
            before = resource.getrusage(resource.RUSAGE_CHILDREN)
            out = subprocess.run([floor, str(total), str(PIECE), str(cores)], check=True, capture_output=True)
            after = resource.getrusage(resource.RUSAGE_CHILDREN)
            floors.append((float(out.stdout), (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)))
        floor_s = statistics.median(w for w, _ in floors)
        floor_cpu = sorted(floors)[len(floors) // 2][1]

        print("%d files, %d MiB, 256 KiB pieces, %d cores, page cache warm\n" % (count, total // MIB, cores))
        print("| | runs (s) | median (s) | MiB/s | CPU s | / floor (wall) | / floor (CPU) |")
        print("|---|---|---|---|---|---|---|")
        for name, results in runs.items():
            walls = [w for w, _ in results]
            median = statistics.median(walls)
            cpu = sorted(results)[len(results) // 2][1]
            print("| %s | %s | %.2f | %.0f | %.2f | %.2fx | %.2fx |" % (
                name, " ".join("%.2f" % w for w in walls), median, total / MIB / median, cpu, median / floor_s,
                cpu / floor_cpu))
        print("| SHA-1 floor, %d threads | %s | %.2f | %.0f | %.2f | 1.00x | 1.00x |" % (
            cores, " ".join("%.2f" % w for w, _ in floors), floor_s, total / MIB / floor_s, floor_cpu))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
