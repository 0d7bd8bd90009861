"""What the daemon benchmarks share: `btshell daemon` and Debian's transmission-daemon
set up side by side in one temporary folder, the same generated torrents for both,
their RPC client, and the /proc readers of a process tree.

Standard library only: daemon_bench.py runs under any python3, web_bench.py under
Debian's (which has selenium).

Both daemons listen on 127.0.0.1 only, with DHT, local peer discovery, port mapping
and uTP off and no tracker in the torrents; $HOME and the XDG folders are folders of
the temporary one. Every process is started and stopped by its process id, each wait
bounded.
"""
import base64
import hashlib
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from bencode_writer import bencode  # noqa: E402

FILE_SIZES = (4096, 6144, 2500)  # the files of each torrent
PIECE_LENGTH = 8192              # two pieces a torrent, across file ends
SEEDING = 6                      # the RPC's status of a seeding torrent
START_LIMIT = 60       # seconds for a daemon to answer its first RPC call
READY_LIMIT = 900      # seconds for every torrent to be seeding
STOP_LIMIT = 120       # seconds for a daemon to end after SIGTERM
KILL_WAIT = 10         # seconds for a process to be gone after SIGKILL
POLL_INTERVAL = 0.1    # seconds between torrent-get polls while waiting
RPC_TIMEOUT = 120      # seconds for one RPC answer
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
THEIR_WEB_HOME = "/usr/share/transmission/web"  # Debian's copy of transmission-daemon's page




def file_bytes(torrent, index, size):
    line = b"bench torrent %d file %d\n" % (torrent, index)
    return (line * (size // len(line) + 1))[:size]


def make_torrents(count, seed_dir, data_dirs):
    """Writes count seeds (bench-0000 ...) into seed_dir and their complete data into each
    of data_dirs; the seeds in base64, as torrent-add's metainfo takes them."""
    seeds = []
    for t in range(count):
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


def start_ticks(pid):
    """When pid started (clock ticks after boot): with the pid, names one process; None once gone."""
    fields = stat_fields(pid)
    return int(fields[19]) if fields else None


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


def kill_left(processes):
    """SIGKILL to each (pid, start ticks) still running as that same process; waits,
    bounded, until they are gone. The pids that had to be killed."""
    killed = []
    for pid, started in processes:
        if started is not None and start_ticks(pid) == started and stat_fields(pid)[0] != "Z":
            try:
                os.kill(pid, signal.SIGKILL)
                killed.append(pid)
            except ProcessLookupError:
                pass
    deadline = time.perf_counter() + KILL_WAIT
    while any(start_ticks(p) is not None and stat_fields(p)[:1] != ["Z"] for p in killed):
        if time.perf_counter() > deadline:
            raise RuntimeError("processes %s still there %d s after SIGKILL" % (killed, KILL_WAIT))
        time.sleep(POLL_INTERVAL)
    return killed


class Daemon:
    """One daemon: how to start it, its RPC port; started and stopped by its pid."""

    def __init__(self, name, argv, env, rpc_port, log_path, data_dir):
        self.name, self.argv, self.env, self.rpc_port = name, argv, env, rpc_port
        self.log_path, self.data_dir = log_path, data_dir
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
            self.process.wait(KILL_WAIT)
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


def all_seeding(count):
    """A test for wait_until: count torrents listed, all seeding; raises on a failed one."""
    def done(torrents):
        failed = [t for t in torrents if t.get("error")]
        if failed:
            raise RuntimeError("torrent %d: %s" % (failed[0]["id"], failed[0].get("errorString")))
        return len(torrents) == count and all(t["status"] == SEEDING for t in torrents)
    return done


def add_all(daemon, rpc, seeds):
    """torrent-add of every seed (its data in the daemon's download folder), one after another."""
    for seed in seeds:
        args, _ = rpc.call("torrent-add", {"metainfo": seed, "download-dir": daemon.data_dir})
        if "torrent-added" not in args:
            raise RuntimeError("%s: torrent-add answered %s" % (daemon.name, args))


def program_problem(tool, target, build):
    """Why the daemons cannot run from build (a sentence naming the make target that builds them), or None."""
    for f in (os.path.join(build, "host", "btshell"), os.path.join(build, "kernel", "libbt_kernel.so")):
        if not os.path.isfile(f):
            return "%s: no %s (make %s builds it)" % (tool, f, target)
    if not shutil.which("transmission-daemon"):
        return "%s: transmission-daemon is not installed (make deps)" % tool
    return None


def ratio_table(title, rows, results):
    """A markdown table of (ours, theirs) figures, a pair for each run: a line for each
    (key, label, format) of rows, then the ratios ours/theirs; a key one side lacks stays blank."""
    head = "| %s |" % title
    for run in range(len(results)):
        head += " ours run %d | theirs run %d |" % (run + 1, run + 1)
    lines = [head + " ours / theirs |", "|---" * (2 * len(results) + 2) + "|"]
    for key, label, fmt in rows:
        line, ratios = "| %s |" % label, []
        for ours, theirs in results:
            line += " %s | %s |" % tuple(fmt % f[key] if key in f else "" for f in (ours, theirs))
            if key in ours and key in theirs:
                ratios.append("%.2f" % (ours[key] / theirs[key]) if theirs[key] else "-")
        lines.append(line + " %s |" % ", ".join(ratios))
    return "\n".join(lines)


class Pair:
    """A fresh temporary folder holding both daemons' settings, data and state: ours
    (btshell daemon) and theirs (transmission-daemon), not started yet. `seeds` are the
    torrents in base64, their data already complete in each daemon's download folder."""

    def __init__(self, build, prefix, torrents):
        self.work = tempfile.mkdtemp(prefix=prefix)
        try:
            self._lay_out(build, torrents)
        except BaseException:
            shutil.rmtree(self.work, ignore_errors=True)
            raise

    def _lay_out(self, build, torrents):
        home = os.path.join(self.work, "home")
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_STATE_HOME=os.path.join(home, ".local/state"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"),
                        XDG_DATA_HOME=os.path.join(home, ".local/share"))
        for key in ("HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"):
            os.makedirs(self.env[key], exist_ok=True)
        ours_dir, theirs_dir = os.path.join(self.work, "btshell"), os.path.join(self.work, "transmission")
        seed_dir = os.path.join(self.work, "seeds")
        for d in (ours_dir, theirs_dir, seed_dir):
            os.makedirs(d)
        self.seeds = make_torrents(torrents, seed_dir, [os.path.join(ours_dir, "data"),
                                                        os.path.join(theirs_dir, "data")])
        self.ours = self._ours(build, ours_dir)
        self.theirs = self._theirs(theirs_dir)

    def daemons(self):
        return [self.ours, self.theirs]

    def _ours(self, build, folder):
        # The kernel module from a folder of its own, with uTP off as well.
        modules = os.path.join(folder, "modules")
        os.makedirs(modules)
        shutil.copy(os.path.join(build, "kernel", "libbt_kernel.so"), modules)
        with open(os.path.join(modules, "bt_kernel.ini"), "w") as f:
            f.write("[session]\nlisten_interfaces = 127.0.0.1:0\ndht = 0\nlocal_peer_discovery = 0\n"
                    "upnp = 0\nnatpmp = 0\nutp = 0\n")
        port = free_port()
        settings = {
            "rpc-address": "127.0.0.1:%d" % port,
            "download-dir": os.path.join(folder, "data"),
            "state-dir": os.path.join(folder, "state"),
            "listen-address": "127.0.0.1:%d" % free_port(),
            "dht": False, "local-discovery": False, "port-mapping": False,
        }
        config = os.path.join(folder, "settings.json")
        with open(config, "w") as f:
            json.dump(settings, f, indent=2)
        return Daemon("btshell daemon",
                      [os.path.join(build, "host", "btshell"), "--modules-dir", modules, "daemon", "--config", config],
                      self.env, port, os.path.join(folder, "daemon.log"), settings["download-dir"])

    def _theirs(self, folder):
        port = free_port()
        conf = os.path.join(folder, "config")
        os.makedirs(conf)
        settings = {
            "bind-address-ipv4": "127.0.0.1", "bind-address-ipv6": "::1",
            "peer-port": free_port(), "peer-port-random-on-start": False,
            "rpc-bind-address": "127.0.0.1", "rpc-port": port, "rpc-whitelist": "127.0.0.1",
            "rpc-whitelist-enabled": True, "rpc-authentication-required": False,
            "rpc-host-whitelist-enabled": False,
            "dht-enabled": False, "lpd-enabled": False, "pex-enabled": False, "utp-enabled": False,
            "port-forwarding-enabled": False, "blocklist-enabled": False,
            "download-dir": os.path.join(folder, "data"), "incomplete-dir-enabled": False,
            "watch-dir-enabled": False, "ratio-limit-enabled": False, "idle-seeding-limit-enabled": False,
            "message-level": 1,
        }
        with open(os.path.join(conf, "settings.json"), "w") as f:
            json.dump(settings, f, indent=2)
        return Daemon("transmission-daemon", ["transmission-daemon", "-f", "-g", conf],
                      dict(self.env, TRANSMISSION_WEB_HOME=THEIR_WEB_HOME), port,
                      os.path.join(folder, "daemon.log"), settings["download-dir"])

    def close(self, tool, keep):
        """Stops both daemons (by pid); removes the folder unless keep."""
        for daemon in self.daemons():
            try:
                daemon.stop()
            except RuntimeError as e:
                print("%s: %s" % (tool, e), file=sys.stderr)
        if keep:
            print("%s: kept %s" % (tool, self.work))
        else:
            shutil.rmtree(self.work, ignore_errors=True)
