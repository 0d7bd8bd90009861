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
import base64
import hashlib
import http.client
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

TORRENTS = int(os.environ.get("DAEMON_BENCH_TORRENTS", "1000"))
GETS = int(os.environ.get("DAEMON_BENCH_GETS", "30"))
IDLE_SECONDS = float(os.environ.get("DAEMON_BENCH_IDLE_SECONDS", "60"))
KEEP = os.environ.get("DAEMON_BENCH_KEEP") == "1"

FILE_SIZES = (4096, 6144, 2500)  # the files of each torrent
PIECE_LENGTH = 8192              # two pieces a torrent, across file ends
SEEDING = 6                      # the RPC's status of a seeding torrent
LIST_FIELDS = ["error", "errorString", "eta", "id", "isFinished", "leftUntilDone", "name",
               "peersGettingFromUs", "peersSendingToUs", "rateDownload", "rateUpload",
               "sizeWhenDone", "status", "uploadRatio"]
START_LIMIT = 60       # seconds for a daemon to answer its first RPC call
READY_LIMIT = 900      # seconds for every torrent to be seeding
STOP_LIMIT = 120       # seconds for a daemon to end after SIGTERM
POLL_INTERVAL = 0.1    # seconds between torrent-get polls while waiting
SETTLE_SECONDS = 5     # after all are seeding, before memory and idle CPU
RPC_TIMEOUT = 120      # seconds for one RPC answer
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    if isinstance(value, dict):
        items = sorted((k.encode() if isinstance(k, str) else k, v) for k, v in value.items())
        return b"d" + b"".join(bencode(k) + bencode(v) for k, v in items) + b"e"
    raise TypeError(type(value))


def file_bytes(torrent, index, size):
    line = b"bench torrent %d file %d\n" % (torrent, index)
    return (line * (size // len(line) + 1))[:size]


def make_torrents(seed_dir, data_dirs):
    """Writes TORRENTS seeds into seed_dir and their complete data into each of data_dirs."""
    seeds = []
    for t in range(TORRENTS):
        name = "bench-%04d" % t
        contents = [file_bytes(t, i, size) for i, size in enumerate(FILE_SIZES)]
        joined = b"".join(contents)
        pieces = b"".join(hashlib.sha1(joined[o:o + PIECE_LENGTH]).digest()
                          for o in range(0, len(joined), PIECE_LENGTH))
        files = [{"length": len(c), "path": ["file-%d.bin" % i]} for i, c in enumerate(contents)]
        info = {"files": files, "name": name, "piece length": PIECE_LENGTH, "pieces": pieces}
        seed = bencode({"created by": "daemon_bench", "creation date": 1700000000, "info": info})
        with open(os.path.join(seed_dir, name + ".torrent"), "wb") as out:
            out.write(seed)
        for data_dir in data_dirs:
            folder = os.path.join(data_dir, name)
            os.makedirs(folder)
            for i, c in enumerate(contents):
                with open(os.path.join(folder, "file-%d.bin" % i), "wb") as out:
                    out.write(c)
        seeds.append(base64.b64encode(seed).decode())
    return seeds


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Rpc:
    """Transmission's RPC over one kept-alive connection, with its session id handshake."""

    def __init__(self, port):
        self.port = port
        self.conn = None
        self.session_id = None

    def close(self):
        if self.conn:
            self.conn.close()
        self.conn = None

    def call(self, method, arguments):
        """The answer's arguments and the seconds from sending to the whole body read."""
        body = json.dumps({"method": method, "arguments": arguments}).encode()
        for _ in range(3):
            if self.conn is None:
                self.conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=RPC_TIMEOUT)
            headers = {"Content-Type": "application/json"}
            if self.session_id:
                headers["X-Transmission-Session-Id"] = self.session_id
            started = time.perf_counter()
            try:
                self.conn.request("POST", "/transmission/rpc", body, headers)
                reply = self.conn.getresponse()
                data = reply.read()
            except (OSError, http.client.HTTPException):
                self.close()
                raise
            took = time.perf_counter() - started
            if reply.status == 409:
                self.session_id = reply.getheader("X-Transmission-Session-Id")
                continue
            if reply.status != 200:
                raise RuntimeError("%s: HTTP %d" % (method, reply.status))
            answer = json.loads(data)
            if answer.get("result") != "success":
                raise RuntimeError("%s: %s" % (method, answer.get("result")))
            return answer.get("arguments", {}), took
        raise RuntimeError("%s: no session id taken" % method)


def proc_text(pid, name):
    """/proc/PID/NAME, or None once the process is gone."""
    try:
        with open("/proc/%s/%s" % (pid, name)) as f:
            return f.read()
    except OSError:
        return None


def stat_fields(pid):
    """The fields of /proc/PID/stat after the command's name (the state first), or []."""
    stat = proc_text(pid, "stat")
    return stat.rsplit(")", 1)[1].split() if stat else []


def proc_tree(pid):
    """pid and every process below it."""
    children = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        fields = stat_fields(entry)
        if fields:
            children.setdefault(int(fields[1]), []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo.extend(children.get(p, []))
    return found


def rss_kib(pid):
    total = 0
    for p in proc_tree(pid):
        for line in (proc_text(p, "status") or "").splitlines():
            if line.startswith("VmRSS:"):
                total += int(line.split()[1])
    return total


def cpu_seconds(pid):
    """utime + stime of pid and of the processes below it (their own and their waited-for children's)."""
    ticks = sum(sum(int(v) for v in stat_fields(p)[11:15]) for p in proc_tree(pid))  # utime stime cutime cstime
    return ticks / CLOCK_TICKS


class Daemon:
    """One daemon: how to start it, its RPC port; started and stopped by its pid."""

    def __init__(self, name, argv, env, rpc_port, log_path):
        self.name, self.argv, self.env, self.rpc_port, self.log_path = name, argv, env, rpc_port, log_path
        self.process = None

    def start(self):
        log = open(self.log_path, "ab")
        self.process = subprocess.Popen(self.argv, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                        stderr=subprocess.STDOUT)
        log.close()
        return time.perf_counter()

    def pid(self):
        return self.process.pid

    def check_running(self):
        if self.process.poll() is not None:
            raise RuntimeError("%s ended with status %d (see %s)" % (self.name, self.process.returncode,
                                                                     self.log_path))

    def stop(self):
        """SIGTERM, then the seconds it took to end; SIGKILL past STOP_LIMIT."""
        if self.process is None or self.process.poll() is not None:
            return 0.0
        started = time.perf_counter()
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(STOP_LIMIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(10)
            raise RuntimeError("%s did not end within %d s of SIGTERM" % (self.name, STOP_LIMIT))
        return time.perf_counter() - started


def wait_until(daemon, rpc, done, limit, what):
    """Polls torrent-get (id, status, error) until done(torrents); the poll's list."""
    deadline = time.perf_counter() + limit
    while True:
        daemon.check_running()
        try:
            args, _ = rpc.call("torrent-get", {"fields": ["id", "status", "error", "errorString"]})
            torrents = args.get("torrents", [])
            if done(torrents):
                return torrents
        except (OSError, http.client.HTTPException):
            pass  # not listening yet
        if time.perf_counter() > deadline:
            raise RuntimeError("%s: %s not reached within %d s" % (daemon.name, what, limit))
        time.sleep(POLL_INTERVAL)


def all_seeding(torrents):
    failed = [t for t in torrents if t.get("error")]
    if failed:
        raise RuntimeError("torrent %d: %s" % (failed[0]["id"], failed[0].get("errorString")))
    return len(torrents) == TORRENTS and all(t["status"] == SEEDING for t in torrents)


def measure(daemon, seeds, data_dir):
    """The figures of one daemon, in the order of the table."""
    figures = {}
    rpc = Rpc(daemon.rpc_port)
    daemon.start()
    wait_until(daemon, rpc, lambda t: True, START_LIMIT, "an answer")
    started = time.perf_counter()
    for seed in seeds:
        args, _ = rpc.call("torrent-add", {"metainfo": seed, "download-dir": data_dir})
        if "torrent-added" not in args:
            raise RuntimeError("%s: torrent-add answered %s" % (daemon.name, args))
    figures["add"] = time.perf_counter() - started
    wait_until(daemon, rpc, all_seeding, READY_LIMIT, "every torrent seeding")
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
    wait_until(daemon, rpc, all_seeding, READY_LIMIT, "every torrent restored")
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
    btshell = os.path.join(build, "host", "btshell")
    kernel = os.path.join(build, "kernel", "libbt_kernel.so")
    for f in (btshell, kernel):
        if not os.path.isfile(f):
            print("daemon_bench: no %s (make bench-daemon builds it)" % f, file=sys.stderr)
            return 1
    if not shutil.which("transmission-daemon"):
        print("daemon_bench: transmission-daemon is not installed (make deps)", file=sys.stderr)
        return 1

    work = tempfile.mkdtemp(prefix="daemon-bench.")
    env = dict(os.environ, HOME=os.path.join(work, "home"), XDG_CONFIG_HOME=os.path.join(work, "home/.config"),
               XDG_STATE_HOME=os.path.join(work, "home/.local/state"),
               XDG_CACHE_HOME=os.path.join(work, "home/.cache"), XDG_DATA_HOME=os.path.join(work, "home/.local/share"))
    for key in ("HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
        os.makedirs(env[key], exist_ok=True)
    daemons = []
    try:
        ours_dir, theirs_dir = os.path.join(work, "btshell"), os.path.join(work, "transmission")
        seed_dir = os.path.join(work, "seeds")
        for d in (ours_dir, theirs_dir, seed_dir):
            os.makedirs(d)
        print("daemon_bench: %d torrents of %d files in %s" % (TORRENTS, len(FILE_SIZES), work), flush=True)
        seeds = make_torrents(seed_dir, [os.path.join(ours_dir, "data"), os.path.join(theirs_dir, "data")])

        # Ours: the kernel module from a folder of its own, with uTP off as well.
        modules = os.path.join(ours_dir, "modules")
        os.makedirs(modules)
        shutil.copy(kernel, modules)
        with open(os.path.join(modules, "bt_kernel.ini"), "w") as f:
            f.write("[session]\nlisten_interfaces = 127.0.0.1:0\ndht = 0\nlocal_peer_discovery = 0\n"
                    "upnp = 0\nnatpmp = 0\nutp = 0\n")
        ours_port = free_port()
        ours_settings = {
            "rpc-address": "127.0.0.1:%d" % ours_port,
            "download-dir": os.path.join(ours_dir, "data"),
            "state-dir": os.path.join(ours_dir, "state"),
            "listen-address": "127.0.0.1:%d" % free_port(),
            "dht": False, "local-discovery": False, "port-mapping": False,
        }
        config = os.path.join(ours_dir, "settings.json")
        with open(config, "w") as f:
            json.dump(ours_settings, f, indent=2)
        daemons.append(Daemon("btshell daemon",
                              [btshell, "--modules-dir", modules, "daemon", "--config", config],
                              env, ours_port, os.path.join(ours_dir, "daemon.log")))

        theirs_port = free_port()
        conf = os.path.join(theirs_dir, "config")
        os.makedirs(conf)
        theirs_settings = {
            "bind-address-ipv4": "127.0.0.1", "bind-address-ipv6": "::1",
            "peer-port": free_port(), "peer-port-random-on-start": False,
            "rpc-bind-address": "127.0.0.1", "rpc-port": theirs_port, "rpc-whitelist": "127.0.0.1",
            "rpc-whitelist-enabled": True, "rpc-authentication-required": False,
            "rpc-host-whitelist-enabled": False,
            "dht-enabled": False, "lpd-enabled": False, "pex-enabled": False, "utp-enabled": False,
            "port-forwarding-enabled": False, "blocklist-enabled": False,
            "download-dir": os.path.join(theirs_dir, "data"), "incomplete-dir-enabled": False,
            "watch-dir-enabled": False, "ratio-limit-enabled": False, "idle-seeding-limit-enabled": False,
            "message-level": 1,
        }
        with open(os.path.join(conf, "settings.json"), "w") as f:
            json.dump(theirs_settings, f, indent=2)
        daemons.append(Daemon("transmission-daemon", ["transmission-daemon", "-f", "-g", conf],
                              env, theirs_port, os.path.join(theirs_dir, "daemon.log")))

        results = []
        for daemon, data in zip(daemons, (ours_settings["download-dir"], theirs_settings["download-dir"])):
            print("daemon_bench: measuring %s" % daemon.name, flush=True)
            results.append(measure(daemon, seeds, data))

        ours, theirs = results
        print()
        print("| %d torrents | btshell daemon | transmission-daemon | ours / theirs |" % TORRENTS)
        print("|---|---|---|---|")
        for key, label, fmt in ROWS:
            ratio = ours[key] / theirs[key] if theirs[key] else float("nan")
            print("| %s | %s | %s | %.2f |" % (label, fmt % ours[key], fmt % theirs[key], ratio))
        return 0
    finally:
        for daemon in daemons:
            try:
                daemon.stop()
            except RuntimeError as e:
                print("daemon_bench: %s" % e, file=sys.stderr)
        if KEEP:
            print("daemon_bench: kept %s" % work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    sys.exit(main())
