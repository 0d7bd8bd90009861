"""What the browser tests of the daemon's web page run on: seeds made here, Debian's
opentracker and an aria2c seeder, btshell daemon, and Chromium under chromedriver.

Loopback only, one address per party (the tracker, the seeder, the daemon's kernel and
its RPC; no other test uses them). Every program is started by this process and stopped
by its process id (SIGTERM, SIGKILL after a grace); each gets SIGKILL should this
process die, and this process adopts what they leave behind (Chromium's helpers) and
kills that too once they have stopped. Every wait is bounded. Single-threaded, but for
the small HTTP servers a test runs in threads of their own.
"""
import argparse
import base64
import ctypes
import hashlib
import http.server
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.remote.remote_connection import RemoteConnection

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from bencode_writer import bencode  # noqa: E402

TRACKER = "127.0.0.20"
SEEDER = "127.0.0.21"  # aria2c
KERNEL = "127.0.0.22"  # the daemon's kernel
RPC = "127.0.0.23"  # the daemon's RPC and pages, and the test's own HTTP servers

STEP_LIMIT = 20  # seconds for the page or the daemon to do one thing
TRANSFER_LIMIT = 60  # seconds for a few MiB to arrive over loopback
STOP_GRACE = 10  # seconds between SIGTERM and SIGKILL
POLL = 0.1

_PR_SET_PDEATHSIG, _PR_SET_CHILD_SUBREAPER = 1, 36
_libc = ctypes.CDLL(None, use_errno=True)

options = argparse.Namespace()


def parse_command_line():
    """--btshell, --kernel and --artefacts into `options`; the rest is unittest's."""
    parser = argparse.ArgumentParser(add_help=False)
    for name in ("--btshell", "--kernel", "--artefacts"):
        parser.add_argument(name, required=True)
    known, rest = parser.parse_known_args()
    vars(options).update(vars(known))
    return [sys.argv[0]] + rest


def wait_until(done, limit):
    """Calls done() until it is true (its value) or `limit` seconds have passed (None)."""
    end = time.monotonic() + limit
    while True:
        value = done()
        if value or time.monotonic() > end:
            return value or None
        time.sleep(POLL)


def free_port(address):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


def accepts(address, port):
    try:
        socket.create_connection((address, port), timeout=1).close()
        return True
    except OSError:
        return False


def same_bytes(a, b):
    with open(a, "rb") as x, open(b, "rb") as y:
        return x.read() == y.read()


# --- processes -------------------------------------------------------------------------

def _die_with_parent():
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


class Child:
    """A program started here, known by its pid; output to <log>.out and <log>.err."""

    def __init__(self, argv, folder, log, env):
        self.log = log
        with open(log + ".out", "wb") as out, open(log + ".err", "wb") as err:
            self.process = subprocess.Popen(argv, cwd=folder, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                            env=env, preexec_fn=_die_with_parent)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        """SIGTERM by pid, SIGKILL once STOP_GRACE has passed; the exit status (-N: signal N)."""
        for sent in (signal.SIGTERM, signal.SIGKILL):
            if self.running():
                os.kill(self.process.pid, sent)
                try:
                    self.process.wait(STOP_GRACE)
                except subprocess.TimeoutExpired:
                    pass
        return self.process.returncode

    def err_tail(self, size=3000):
        with open(self.log + ".err", "rb") as f:
            text = f.read().decode(errors="replace")
        return text if len(text) <= size else "..." + text[-size:]


def end_orphans():
    """SIGKILL and reap every remaining child of this process (adopted ones included)."""
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as f:
                if f.read().rsplit(")", 1)[1].split()[1] != str(os.getpid()):
                    continue
            os.kill(int(entry), signal.SIGKILL)
            os.waitpid(int(entry), 0)
        except (OSError, IndexError):  # gone meanwhile
            pass


# --- seeds ----------------------------------------------------------------------------

class Seed:
    """A torrent made here: random content (the same for the same name) under `root`,
    its .torrent file `file`, its info hash. files: [(path inside, size)]; one entry
    without a folder makes a single-file torrent named after it."""

    def __init__(self, root, file, name, files, announce, piece_size=256 * 1024):
        self.single = len(files) == 1 and "/" not in files[0][0]
        self.name = files[0][0] if self.single else name
        self.files, self.file, self.data_root = files, file, root
        generator = random.Random(name)
        data = b""
        for target, (_, size) in zip(self.paths(root), files):
            content = generator.randbytes(size)
            data += content
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(content)
        pieces = b"".join(hashlib.sha1(data[i:i + piece_size]).digest() for i in range(0, len(data), piece_size))
        info = {"name": self.name, "piece length": piece_size, "pieces": pieces}
        if self.single:
            info["length"] = len(data)
        else:
            info["files"] = [{"length": size, "path": inside.split("/")} for inside, size in files]
        self.hash = hashlib.sha1(bencode(info)).hexdigest()
        self.metainfo = bencode({"announce": announce, "info": info})
        os.makedirs(os.path.dirname(file), exist_ok=True)
        with open(file, "wb") as f:
            f.write(self.metainfo)

    def paths(self, root):
        """Where each of its files lies under `root` (a data folder of a client)."""
        return [os.path.join(root, *([] if self.single else [self.name]), p) for p, _ in self.files]


# --- the RPC --------------------------------------------------------------------------

class Rpc:
    """The daemon's RPC as a plain client sees it: the session-id exchange, Basic
    credentials when given."""

    def __init__(self, port, credentials=None):
        self.url = "http://%s:%d/transmission/rpc" % (RPC, port)
        self.session = ""
        self.auth = credentials and "Basic " + base64.b64encode(credentials.encode()).decode()

    def post(self, body, headers=None):
        """One POST (after the 409 exchange); (status, headers, body)."""
        for _ in range(2):
            sent = dict(headers or {}, **{"X-Transmission-Session-Id": self.session})
            if self.auth:
                sent["Authorization"] = self.auth
            request = urllib.request.Request(self.url, data=body, headers=sent)
            try:
                with urllib.request.urlopen(request, timeout=STEP_LIMIT) as answer:
                    return answer.status, answer.headers, answer.read()
            except urllib.error.HTTPError as answer:
                if answer.code != 409:
                    return answer.code, answer.headers, answer.read()
                self.session = answer.headers.get("X-Transmission-Session-Id", "")
        return 409, {}, b""

    def __call__(self, method, **arguments):
        status, _, body = self.post(json.dumps({"method": method, "arguments": arguments}).encode())
        answer = json.loads(body) if status == 200 else {}
        if answer.get("result") != "success":
            raise AssertionError("%s: %d %r" % (method, status, body[:300]))
        return answer.get("arguments", {})

    def task(self, hash_string):
        """torrent-get's view of the task of `hash_string`; None when there is none."""
        fields = ["id", "hashString", "name", "status", "downloadLimit", "downloadLimited"]
        return next((t for t in self("torrent-get", fields=fields)["torrents"] if t["hashString"] == hash_string),
                    None)

    def add(self, seed):
        added = self("torrent-add", metainfo=base64.b64encode(seed.metainfo).decode())
        return (added.get("torrent-added") or added["torrent-duplicate"])["id"]


# --- the parties ----------------------------------------------------------------------

class Machine:
    """The programs of one test class and its folder. close() stops everything
    started, in reverse order, and removes the folder."""

    def __init__(self, name):
        self.folder = tempfile.mkdtemp(prefix="web-%s-" % name)
        home = self.path("home")
        os.makedirs(home)
        # No program reads or writes the user's own configuration and caches.
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_CACHE_HOME=home + "/.cache",
                        XDG_DATA_HOME=home + "/.local/share")
        self.children, self.closers = [], []
        self.tracker_port = free_port(TRACKER)
        _libc.prctl(_PR_SET_CHILD_SUBREAPER, 1)  # what a child leaves behind comes to this process

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def start(self, argv, log):
        self.children.append(Child(argv, self.folder, self.path(log), self.env))
        return self.children[-1]

    def close(self):
        """Stops everything; each program's exit status."""
        try:
            while self.closers:
                self.closers.pop()()
        finally:
            statuses = {c: c.stop() for c in reversed(self.children)}
            end_orphans()
            shutil.rmtree(self.folder, ignore_errors=True)
        return statuses

    def seed(self, name, files, root=None):
        """A Seed announcing to the tracker, its data under seeders/ (or `root`)."""
        return Seed(root or self.path("seeders"), self.path("seeds", name + ".torrent"), name, files,
                    self.announce_url())

    def announce_url(self):
        return "http://%s:%d/announce" % (TRACKER, self.tracker_port)

    def tracker_get(self, target):
        try:
            with urllib.request.urlopen("http://%s:%d%s" % (TRACKER, self.tracker_port, target), timeout=5) as a:
                return a.read()
        except OSError:
            return b""

    def tracker(self, seeds):
        """opentracker serving only `seeds`, once it answers with its whitelist read."""
        os.makedirs(self.path("tracker"))
        with open(self.path("tracker", "whitelist.txt"), "w") as f:
            f.write("".join(s.hash + "\n" for s in seeds))
        with open(self.path("tracker", "opentracker.conf"), "w") as f:
            # Its folder is its root: started as root, it changes root to it.
            f.write("listen.tcp_udp %s:%d\naccess.whitelist whitelist.txt\ntracker.rootdir %s\n"
                    % (TRACKER, self.tracker_port, self.path("tracker")))
        child = self.start(["opentracker", "-f", self.path("tracker", "opentracker.conf")], "tracker")
        probe = "/announce?info_hash=%s&peer_id=-BT0000-probeprobe00&port=1&left=0&event=stopped" % _escaped(
            seeds[0].hash)

        def taken():
            answer = self.tracker_get(probe)
            return answer and b"failure" not in answer
        assert wait_until(taken, STEP_LIMIT), "the tracker does not answer: " + child.err_tail()

    def seeder(self, seeds):
        """One aria2c seeding `seeds` from their data (one root), on its own address;
        its port, once the tracker lists it as a seeder of each."""
        port = free_port(SEEDER)
        child = self.start(["aria2c", "--dir=" + seeds[0].data_root, "--interface=" + SEEDER, "--disable-ipv6=true",
                            "--listen-port=%d" % port, "--enable-dht=false", "--enable-dht6=false",
                            "--bt-enable-lpd=false", "--enable-peer-exchange=false", "--console-log-level=warn",
                            "--summary-interval=0", "--file-allocation=none", "--seed-ratio=0.0",
                            "--check-integrity=true"] + [s.file for s in seeds], "aria2c")

        def seeding(seed):
            answer = self.tracker_get("/scrape?info_hash=" + _escaped(seed.hash))
            at = answer.find(b"8:completei") + 11
            return at > 10 and int(answer[at:answer.index(b"e", at)]) > 0
        assert wait_until(lambda: all(map(seeding, seeds)), TRANSFER_LIMIT), "aria2c: " + child.err_tail()
        return port

    def daemon(self, settings):
        """btshell daemon with the kernel module on libtorrent, its kernel on KERNEL, its
        RPC on RPC, `settings` over the test's; its Child, once the RPC accepts."""
        for folder in ("modules", "state", "downloads"):
            os.makedirs(self.path(folder))
        shutil.copyfile(options.kernel, self.path("modules", "libbt_kernel.so"))
        with open(self.path("modules", "bt_kernel.ini"), "w") as f:
            f.write("[session]\nlisten_interfaces = %s:0\noutgoing_interfaces = %s\n"
                    "dht = 0\nlocal_peer_discovery = 0\nupnp = 0\nnatpmp = 0\nutp = 0\n" % (KERNEL, KERNEL))
        self.downloads = self.path("downloads")
        self.rpc_port = free_port(RPC)
        self.origin = "http://%s:%d" % (RPC, self.rpc_port)
        with open(self.path("settings.json"), "w") as f:
            json.dump(dict({"rpc-address": "%s:%d" % (RPC, self.rpc_port), "listen-address": KERNEL + ":0",
                            "dht": False, "local-discovery": False, "port-mapping": False,
                            "state-dir": self.path("state"), "download-dir": self.downloads}, **settings), f)
        self.daemon_child = self.start([options.btshell, "--modules-dir", self.path("modules"), "daemon", "--config",
                                        self.path("settings.json")], "daemon")
        up = wait_until(lambda: accepts(RPC, self.rpc_port) or not self.daemon_child.running(), STEP_LIMIT)
        assert up and self.daemon_child.running(), "the daemon opened no RPC: " + self.daemon_child.err_tail()
        return self.daemon_child

    def serve(self, handler_class):
        """A plain Python HTTP server on RPC and a port of its own, in a thread; its origin."""
        server = http.server.ThreadingHTTPServer((RPC, 0), handler_class)
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        self.closers.append(lambda: (server.shutdown(), server.server_close(), thread.join(STEP_LIMIT)))
        return "http://%s:%d" % (RPC, server.server_address[1])

    def browser(self):
        """Headless Chromium on a fresh profile in this folder, its console kept, alerts
        left open for the test to see."""
        RemoteConnection.set_timeout(STEP_LIMIT * 3)
        chrome = webdriver.ChromeOptions()
        chrome.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--user-data-dir=" + self.path("profile"), "--no-first-run",
                         "--no-default-browser-check", "--disable-extensions", "--disable-background-networking",
                         "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--disable-gpu",
                         "--force-prefers-reduced-motion"):  # screenshots without a transition half done
            chrome.add_argument(argument)
        if os.geteuid() == 0:
            chrome.add_argument("--no-sandbox")
        chrome.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        chrome.set_capability("unhandledPromptBehavior", "ignore")
        service = Service("/usr/bin/chromedriver", log_path=self.path("chromedriver.log"), env=self.env,
                          popen_kw={"preexec_fn": _die_with_parent})
        driver = webdriver.Chrome(service=service, options=chrome)

        def quit():
            try:
                driver.quit()
            except Exception:  # a browser that does not answer: its driver goes by its pid below
                pass
            if service.process.poll() is None:
                service.process.kill()
                service.process.wait(STOP_GRACE)
        self.closers.append(quit)
        driver.set_page_load_timeout(STEP_LIMIT)
        driver.set_script_timeout(STEP_LIMIT)
        return driver


def _escaped(hex_hash):
    return "".join("%" + hex_hash[i:i + 2] for i in range(0, len(hex_hash), 2))


# --- the page -------------------------------------------------------------------------

# Every row of the task list as the page shows it, in one call.
_ROWS = """return Array.from(document.querySelectorAll('#tasks tbody tr.task')).map(r => {
  const cell = c => { const e = r.querySelector('td.' + c); return e ? e.textContent.trim() : null; };
  const bar = r.querySelector('td.progress [role=progressbar]');
  return {element: r, id: r.dataset.id, hash: (r.dataset.hash || '').toLowerCase(), name: cell('name'),
          status: cell('status'), progress: bar && parseFloat(bar.getAttribute('aria-valuenow')),
          shown: r.getClientRects().length > 0};
});"""


class Page:
    """The daemon's page in one browser, found the way its users find things: controls
    by their accessible names, tasks by their rows."""

    def __init__(self, driver, machine):
        self.driver, self.machine = driver, machine
        self.test = "page"  # names the screenshot a failure leaves in the artefacts

    def viewport(self, width, height):
        """The page's viewport (the window less the browser's own parts) at width x height."""
        extra = self.driver.execute_script("return [outerWidth - innerWidth, outerHeight - innerHeight]")
        self.driver.set_window_size(width + extra[0], height + extra[1])

    def open(self, origin=None, ready=True):
        self.driver.get((origin or self.machine.origin) + "/transmission/web/")
        if ready:
            self.wait(lambda: self.text("#version"), "the page shows no version")

    def find(self, css, scope=None):
        found = (scope or self.driver).find_elements("css selector", css)
        return found[0] if found else None

    def shown(self, css):
        """The element of `css` when it is displayed; None otherwise."""
        element = self.find(css)
        return element if element and element.is_displayed() else None

    def text(self, css):
        element = self.find(css)
        return element.text.strip() if element else ""

    def named(self, name, scope=None):
        """The controls (button, input, select) in `scope` whose accessible name is `name`."""
        found = []
        for c in (scope or self.driver).find_elements("css selector", "button, input, select, textarea"):
            try:
                if c.accessible_name == name:
                    found.append(c)
            except StaleElementReferenceException:  # one the page replaced meanwhile
                pass
        return found

    def control(self, name, scope=None):
        return self.wait(lambda: self.named(name, scope), "no control named %r" % name)[0]

    def rows(self):
        return {r["hash"]: r for r in self.driver.execute_script(_ROWS)}

    def row(self, seed):
        return self.rows().get(seed.hash)

    def press(self, name, seed):
        """The button `name` of the row of `seed`."""
        row = self.wait(lambda: self.row(seed), "no row of %s" % seed.name)
        self.control(name, row["element"]).click()

    def fill(self, name, text, scope=None):
        """Types `text` into the field `name` in place of what it held (as keys: the
        page hears each change)."""
        field = self.control(name, scope)
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(Keys.DELETE)
        if text:
            field.send_keys(text)

    def add_files(self, *seeds):
        self.find("input[type=file]").send_keys("\n".join(s.file for s in seeds))

    def wait(self, done, what, limit=STEP_LIMIT):
        """done() until true (its value); else fails with `what` and what the page and
        the daemon showed."""
        def attempt():
            try:
                return done()
            except Exception as e:  # a row re-rendered under us, an RPC answer in between
                attempt.last = e
        attempt.last = None
        value = wait_until(attempt, limit)
        if not value:
            raise AssertionError("%s (after %ds; last error: %s)\n%s" % (what, limit, attempt.last, self.state()))
        return value

    def wait_row(self, seed, status, progress=None, limit=STEP_LIMIT):
        def reached():
            row = self.row(seed)
            return row if row and row["status"] == status and progress in (None, row["progress"]) else None
        return self.wait(reached, "%s: no row %r at %s" % (seed.name, status, progress), limit)

    def state(self):
        """What the page and the daemon show, for a failure's message; a screenshot of
        the page into the artefacts."""
        try:
            self.screenshot("failed-%s.png" % self.test)
            rows = ["  %(id)s %(name)r: %(status)r %(progress)s" % r for r in self.rows().values()]
            shown = "#message: %r\nrows:\n%s" % (self.text("#message"), "\n".join(rows) or "  none")
        except Exception as e:
            shown = "the page could not be read: %s" % e
        return shown + "\n--- daemon log\n" + self.machine.daemon_child.err_tail()

    def problems(self):
        """What the browser's console holds since the last call that no page of the
        daemon may cause: a refusal under the page's policy, an uncaught error; and
        requests the page made to another origin."""
        found = [e["message"] for e in self.driver.get_log("browser")
                 if "Content Security Policy" in e["message"] or "Refused to" in e["message"]
                 or e.get("source") == "javascript"]
        if self.driver.execute_script("return location.pathname.startsWith('/transmission/web/')"):
            found += self.driver.execute_script(
                "return performance.getEntriesByType('resource').map(e => e.name)"
                ".filter(u => new URL(u).origin !== location.origin)")
        return found

    def screenshot(self, name, remove=False):
        """The viewport into the artefacts as `name`; or, with `remove`, no such file there."""
        os.makedirs(options.artefacts, exist_ok=True)
        if not remove:
            self.driver.save_screenshot(os.path.join(options.artefacts, name))
        elif os.path.exists(os.path.join(options.artefacts, name)):
            os.remove(os.path.join(options.artefacts, name))
