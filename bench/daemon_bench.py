#!/usr/bin/env python3
"""daemon_bench.py BUILD_DIR: `btshell daemon` beside Debian's transmission-daemon,
both driven over the same RPC by the same client code, in one run:

  add      wall seconds of torrent-add for every torrent (metainfo in base64,
           download-dir pointing at complete data), one request after another
  seeding  wall seconds from the first torrent-add until all are seeding
  get      median wall milliseconds of one torrent-get of every torrent with
           the fields transmission-remote -l asks for
  rss      resident memory (VmRSS, KiB) of the daemon and its children, all seeding
  restore  wall seconds from a start with the saved state (after a SIGTERM)
           until the RPC lists every torrent seeding again
  idle     CPU seconds (utime + stime of the daemon and its children) over
           an idle interval, all seeding, no RPC call

Everything lives in a fresh temporary folder, $HOME and the XDG folders too;
both daemons listen on 127.0.0.1 only, with DHT, local peer discovery, port
mapping and uTP off and no tracker in the torrents. Every process is started
and stopped by its process id, each wait bounded.

Environment: DAEMON_BENCH_TORRENTS (1000), DAEMON_BENCH_GETS (30),
DAEMON_BENCH_IDLE_SECONDS (60), DAEMON_BENCH_KEEP=1 keeps the folder.
"""
import os
import signal
import statistics
import sys
import time

from daemon_pair import (Pair, Rpc, READY_LIMIT, START_LIMIT, add_all, all_seeding, cpu_seconds, program_problem,
                         ratio_table, rss_kib, wait_until)

TORRENTS = int(os.environ.get("DAEMON_BENCH_TORRENTS", "1000"))
GETS = int(os.environ.get("DAEMON_BENCH_GETS", "30"))
IDLE_SECONDS = float(os.environ.get("DAEMON_BENCH_IDLE_SECONDS", "60"))
KEEP = os.environ.get("DAEMON_BENCH_KEEP") == "1"

LIST_FIELDS = ["error", "errorString", "eta", "id", "isFinished", "leftUntilDone", "name",
               "peersGettingFromUs", "peersSendingToUs", "rateDownload", "rateUpload",
               "sizeWhenDone", "status", "uploadRatio"]
SETTLE_SECONDS = 5     # after all are seeding, before memory and idle CPU


def measure(daemon, seeds):
    """The figures of one daemon, in the order of the table."""
    figures = {}
    rpc = Rpc(daemon.rpc_port)
    daemon.start()
    wait_until(daemon, rpc, lambda t: True, START_LIMIT, "an answer")
    started = time.perf_counter()
    add_all(daemon, rpc, seeds)
    figures["add"] = time.perf_counter() - started
    wait_until(daemon, rpc, all_seeding(TORRENTS), READY_LIMIT, "every torrent seeding")
    figures["seeding"] = time.perf_counter() - started
    time.sleep(SETTLE_SECONDS)

    times = []
    for _ in range(GETS):
        args, took = rpc.call("torrent-get", {"fields": LIST_FIELDS})
        if len(args["torrents"]) != TORRENTS:
            raise RuntimeError("%s: torrent-get listed %d torrents" % (daemon.name, len(args["torrents"])))
        times.append(took)
    figures["get"] = statistics.median(times) * 1000
    figures["rss"] = rss_kib(daemon.pid())

    rpc.close()  # an idle daemon has no client
    before = cpu_seconds(daemon.pid())
    time.sleep(IDLE_SECONDS)
    daemon.check_running()
    figures["idle"] = cpu_seconds(daemon.pid()) - before

    figures["stop"] = daemon.stop()
    rpc = Rpc(daemon.rpc_port)
    started = daemon.start()
    wait_until(daemon, rpc, all_seeding(TORRENTS), READY_LIMIT, "every torrent restored")
    figures["restore"] = time.perf_counter() - started
    figures["rss_restored"] = rss_kib(daemon.pid())
    rpc.close()
    daemon.stop()
    return figures


ROWS = [  # key, label, format
    ("add", "torrent-add of all, s", "%.2f"),
    ("seeding", "first add to all seeding, s", "%.2f"),
    ("get", "torrent-get of all (-l fields), median ms", "%.1f"),
    ("rss", "VmRSS all seeding, KiB", "%d"),
    ("rss_restored", "VmRSS after the restart, KiB", "%d"),
    ("idle", "CPU idle over %g s, s" % IDLE_SECONDS, "%.2f"),
    ("stop", "SIGTERM to exit, s", "%.2f"),
    ("restore", "start to all restored, s", "%.2f"),
]


def main():
    if len(sys.argv) != 2:
        print("usage: %s BUILD_DIR" % sys.argv[0], file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    problem = program_problem("daemon_bench", "bench-daemon", build)
    if problem:
        print(problem, file=sys.stderr)
        return 1

    pair = Pair(build, "daemon-bench.", TORRENTS)
    try:
        print("daemon_bench: %d torrents in %s" % (TORRENTS, pair.work), flush=True)
        results = []
        for daemon in pair.daemons():
            print("daemon_bench: measuring %s" % daemon.name, flush=True)
            results.append(measure(daemon, pair.seeds))

        print()
        print(ratio_table("%d torrents" % TORRENTS, ROWS, [tuple(results)]))
        return 0
    finally:
        pair.close("daemon_bench", KEEP)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    sys.exit(main())
