#!/usr/bin/python3
"""web_bench.py BUILD_DIR: the web page of `btshell daemon` beside transmission-daemon's
own (Debian's /usr/share/transmission/web), each served by its daemon at
/transmission/web/ with the same seeding torrents, opened in Debian's headless Chromium
through Selenium (Debian's python3-selenium: run it with /usr/bin/python3) at 1280x800.

For each page, in each run, in a browser of its own with a fresh profile:

  rows      ms from navigation start until the page's rows of every torrent are in the
            DOM (its own row selector, checked by a mutation observer and by a 10 ms poll,
            both put in before the page's scripts run); ours also its
            performance.measure("list-first")
  steady    after SETTLE_SECONDS, over STEADY_SECONDS with the list shown: main-thread
            ms per second (DevTools' Performance.getMetrics: TaskDuration, ScriptDuration,
            LayoutDuration, RecalcStyleDuration; the main thread's and the renderer's CPU,
            ThreadTime and ProcessTime), CPU seconds of all the browser's
            processes and of the daemon; ours also the median, maximum and count of its
            "list-update" measures in that window
  memory    JSHeapUsedSize and the DOM's node count (Nodes) after a garbage collection
  filter    typing FILTER_TEXT into the page's filter box: ms until only the matching
            rows are displayed, the main-thread ms spent; then clearing it: ms until
            every row is displayed again

The runs alternate which page goes first. The daemons are those of daemon_pair.py
(loopback only, each stopped by its pid); the browser's processes are stopped through
its driver and then, by pid, any left.

Environment: WEB_BENCH_TORRENTS (1000), WEB_BENCH_RUNS (3), WEB_BENCH_STEADY_SECONDS (30),
WEB_BENCH_KEEP=1 keeps the temporary folder (daemons' and driver's logs).
"""
import http.client
import json
import os
import signal
import statistics
import sys
import time

from daemon_pair import (Pair, Rpc, READY_LIMIT, START_LIMIT, add_all, all_seeding, cpu_seconds, kill_left,
                         proc_tree, program_problem, ratio_table, start_ticks, wait_until)

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    webdriver = None

TORRENTS = int(os.environ.get("WEB_BENCH_TORRENTS", "1000"))
RUNS = int(os.environ.get("WEB_BENCH_RUNS", "3"))
STEADY_SECONDS = float(os.environ.get("WEB_BENCH_STEADY_SECONDS", "30"))
KEEP = os.environ.get("WEB_BENCH_KEEP") == "1"

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
VIEWPORT = (1280, 800)
ROW_POLL_MS = 10        # the in-page poll of the row count, beside its mutation observer
ROWS_LIMIT = 180        # seconds from navigation for every row to be there
MEASURE_LIMIT = 10      # seconds for list-first once the rows are there
SETTLE_SECONDS = 5      # after the rows are there, before the steady window
FILTER_TEXT = "Bench-00"  # matches bench-0000 ... bench-0099 (the filter ignores case)
FILTER_LIMIT = 30       # seconds for the filtered rows to show
FILTER_POLL = 0.005     # seconds between polls of the displayed rows
PAGE_PATH = "/transmission/web/"
# Performance.getMetrics' running totals (seconds) read over the steady window: the
# durations are wall time of the page's main-thread work (a thread waiting for a
# core counts), ThreadTime that thread's CPU time, ProcessTime its renderer's.
MAIN_THREAD = ("TaskDuration", "ScriptDuration", "LayoutDuration", "RecalcStyleDuration", "ThreadTime",
               "ProcessTime")


class Page:
    """What the benchmark knows of one daemon's page."""

    def __init__(self, rows, filter_box, measures):
        self.rows, self.filter_box, self.measures = rows, filter_box, measures


OUR_PAGE = Page("#tasks tr.task", 'input[type="search"]', True)
THEIR_PAGE = Page("#torrent_list li.torrent", "#torrent_search", False)

# Runs in every document of the browser before the page's own scripts (DevTools'
# addScriptToEvaluateOnNewDocument is not bound by the page's Content-Security-Policy).
# The observer sees the rows at the end of the task that inserted them, before the
# browser lays them out; the poll, a timer task, before or after the first frame with
# them, as the frames fall.
ROW_WATCH = """(() => {
  const bench = window.__webBench = {domAt: null, polledAt: null};
  const enough = () => document.querySelectorAll(%(rows)s).length >= %(count)d;
  const observer = new MutationObserver(() => {
    if (enough()) {
      bench.domAt = performance.now();
      observer.disconnect();
    }
  });
  observer.observe(document, {childList: true, subtree: true});
  const timer = setInterval(() => {
    if (enough()) {
      bench.polledAt = performance.now();
      clearInterval(timer);
    }
  }, %(poll)d);
})();"""

DISPLAYED_ROWS = """return [performance.now(),
  Array.prototype.filter.call(document.querySelectorAll(arguments[0]),
                              r => r.getClientRects().length > 0).length];"""


class Browser:
    """Headless Chromium under chromedriver, a fresh profile in profile_dir."""

    def __init__(self, profile_dir, log_path):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        options.page_load_strategy = "none"  # get() returns at once: the poll times the load
        for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                    "--no-first-run", "--no-default-browser-check", "--disable-extensions",
                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                    "--window-size=%d,%d" % VIEWPORT, "--user-data-dir=" + profile_dir):
            options.add_argument(arg)
        self.service = Service(CHROMEDRIVER, log_path=log_path)
        self.driver = webdriver.Chrome(service=self.service, options=options)
        self.seen = set()

    def cdp(self, command, args=None):
        return self.driver.execute_cdp_cmd(command, args or {})

    def metrics(self):
        return {m["name"]: m["value"] for m in self.cdp("Performance.getMetrics")["metrics"]}

    def processes(self):
        """The driver and every browser process below it, each as (pid, start ticks);
        remembered, so that close() finds those that ended their parent."""
        for pid in proc_tree(self.service.process.pid):
            self.seen.add((pid, start_ticks(pid)))
        return [pid for pid, _ in self.seen]

    def cpu(self):
        return cpu_seconds(self.service.process.pid)

    def close(self):
        self.processes()
        try:
            self.driver.quit()
        finally:
            killed = kill_left(self.seen)
            if killed:
                print("web_bench: browser processes %s were left after quit; killed" % killed, file=sys.stderr)


def wait_for(what, limit, probe, interval):
    """probe() until it answers something other than None; bounded by limit seconds."""
    deadline = time.perf_counter() + limit
    while True:
        value = probe()
        if value is not None:
            return value
        if time.perf_counter() > deadline:
            raise RuntimeError("%s not within %d s" % (what, limit))
        time.sleep(interval)


def page_problem(port):
    """Why the daemon at port serves no page at PAGE_PATH, or None."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=START_LIMIT)
    try:
        conn.request("GET", PAGE_PATH)
        reply = conn.getresponse()
        reply.read()
        return None if reply.status == 200 else "GET %s answered HTTP %d" % (PAGE_PATH, reply.status)
    except (OSError, http.client.HTTPException) as e:
        return "GET %s: %s" % (PAGE_PATH, e)
    finally:
        conn.close()


def filter_rows(browser, page, text, expected):
    """Sends text to the filter box; (ms until exactly expected rows are displayed, main-thread ms)."""
    box = browser.driver.find_element(By.CSS_SELECTOR, page.filter_box)
    before = browser.metrics()["TaskDuration"]
    started = browser.driver.execute_script("return performance.now();")
    box.send_keys(text)

    def probe():
        now, shown = browser.driver.execute_script(DISPLAYED_ROWS, page.rows)
        return now if shown == expected else None
    done = wait_for("%d rows displayed after typing %r" % (expected, text), FILTER_LIMIT, probe, FILTER_POLL)
    return done - started, (browser.metrics()["TaskDuration"] - before) * 1000


def page_url(daemon):
    return "http://127.0.0.1:%d%s" % (daemon.rpc_port, PAGE_PATH)


def measure_page(daemon, page, url, profile_dir, log_path):
    """The figures of one page (at url, served by daemon) in a fresh browser."""
    figures = {}
    browser = Browser(profile_dir, log_path)
    try:
        browser.cdp("Emulation.setDeviceMetricsOverride",
                    {"width": VIEWPORT[0], "height": VIEWPORT[1], "deviceScaleFactor": 1, "mobile": False})
        browser.cdp("Page.addScriptToEvaluateOnNewDocument",
                    {"source": ROW_WATCH % {"rows": json.dumps(page.rows), "count": TORRENTS, "poll": ROW_POLL_MS}})
        browser.cdp("Performance.enable")
        browser.driver.get(url)

        def rows_at():
            return browser.driver.execute_script(
                "const b = location.href === arguments[0] && window.__webBench;"
                "return b && b.domAt !== null && b.polledAt !== null ? [b.domAt, b.polledAt] : null;", url)
        figures["rows"], figures["rows_polled"] = wait_for("%s: every row in the DOM" % daemon.name, ROWS_LIMIT,
                                                           rows_at, 0.05)
        if page.measures:
            figures["list_first"] = wait_for("%s: performance.measure(\"list-first\")" % daemon.name,
                                             MEASURE_LIMIT, lambda: browser.driver.execute_script(
                                                 "const m = performance.getEntriesByName('list-first');"
                                                 "return m.length ? m[0].duration : null;"), 0.05)
        time.sleep(SETTLE_SECONDS)

        browser.processes()
        before, cpu_before, daemon_before = browser.metrics(), browser.cpu(), cpu_seconds(daemon.pid())
        window_start = browser.driver.execute_script("return performance.now();")
        time.sleep(STEADY_SECONDS)
        daemon.check_running()
        browser.processes()
        after, cpu_after, daemon_after = browser.metrics(), browser.cpu(), cpu_seconds(daemon.pid())
        seconds = after["Timestamp"] - before["Timestamp"]
        for name in MAIN_THREAD:
            figures[name] = (after[name] - before[name]) * 1000 / seconds
        figures["browser_cpu"] = cpu_after - cpu_before
        figures["daemon_cpu"] = daemon_after - daemon_before
        if page.measures:
            updates = browser.driver.execute_script(
                "return performance.getEntriesByName('list-update')"
                ".filter(m => m.startTime >= arguments[0]).map(m => m.duration);", window_start)
            figures["updates"] = len(updates)
            figures["update_median"] = statistics.median(updates) if updates else float("nan")
            figures["update_max"] = max(updates) if updates else float("nan")

        browser.cdp("HeapProfiler.collectGarbage")
        live = browser.metrics()
        figures["heap"] = live["JSHeapUsedSize"] / 1024
        figures["nodes"] = live["Nodes"]

        expected = sum(1 for t in range(TORRENTS) if FILTER_TEXT.lower() in "bench-%04d" % t)
        figures["filter"], figures["filter_main"] = filter_rows(browser, page, FILTER_TEXT, expected)
        figures["unfilter"], _ = filter_rows(browser, page, Keys.BACKSPACE * len(FILTER_TEXT), TORRENTS)
    finally:
        browser.close()
    return figures


ROWS = [  # key, label, format; the rows that only ours has are blank for theirs
    ("rows", "navigation to all rows in the DOM, ms", "%.0f"),
    ("rows_polled", "navigation to all rows seen by a 10 ms poll, ms", "%.0f"),
    ("list_first", "list-first measure, ms", "%.0f"),
    ("TaskDuration", "main thread busy (TaskDuration), ms/s", "%.1f"),
    ("ScriptDuration", "script (ScriptDuration), ms/s", "%.1f"),
    ("LayoutDuration", "layout (LayoutDuration), ms/s", "%.2f"),
    ("RecalcStyleDuration", "style (RecalcStyleDuration), ms/s", "%.2f"),
    ("ThreadTime", "main thread CPU (ThreadTime), ms/s", "%.1f"),
    ("ProcessTime", "renderer CPU (ProcessTime), ms/s", "%.1f"),
    ("browser_cpu", "browser CPU over the window, s", "%.2f"),
    ("daemon_cpu", "daemon CPU over the window, s", "%.2f"),
    ("updates", "list-update measures in the window", "%d"),
    ("update_median", "list-update median, ms", "%.1f"),
    ("update_max", "list-update maximum, ms", "%.1f"),
    ("heap", "JS heap used after GC, KiB", "%.0f"),
    ("nodes", "DOM nodes after GC", "%d"),
    ("filter", "typing %r to its rows shown, ms" % FILTER_TEXT, "%.0f"),
    ("filter_main", "main thread while filtering, ms", "%.0f"),
    ("unfilter", "clearing the filter to all rows shown, ms", "%.0f"),
]


def main():
    if len(sys.argv) != 2:
        print("usage: %s BUILD_DIR" % sys.argv[0], file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    problem = program_problem("web_bench", "bench-web", build)
    if problem is None and webdriver is None:
        problem = "web_bench: no selenium in %s (Debian's python3-selenium is /usr/bin/python3's)" % sys.executable
    for program in (CHROMIUM, CHROMEDRIVER):
        if problem is None and not os.access(program, os.X_OK):
            problem = "web_bench: no %s (make deps installs chromium and chromium-driver)" % program
    if problem:
        print(problem, file=sys.stderr)
        return 1

    pair = Pair(build, "web-bench.", TORRENTS)
    try:
        print("web_bench: %d torrents in %s" % (TORRENTS, pair.work), flush=True)
        pages = {pair.ours.name: OUR_PAGE, pair.theirs.name: THEIR_PAGE}
        for daemon in pair.daemons():
            rpc = Rpc(daemon.rpc_port)
            daemon.start()
            wait_until(daemon, rpc, lambda t: True, START_LIMIT, "an answer")
            add_all(daemon, rpc, pair.seeds)
            rpc.close()
        for daemon in pair.daemons():
            rpc = Rpc(daemon.rpc_port)
            wait_until(daemon, rpc, all_seeding(TORRENTS), READY_LIMIT, "every torrent seeding")
            rpc.close()
            problem = page_problem(daemon.rpc_port)
            if problem:
                raise RuntimeError("%s: %s" % (daemon.name, problem))

        results = []
        for run in range(RUNS):
            figures = {}
            for daemon in pair.daemons()[::1 if run % 2 == 0 else -1]:
                print("web_bench: run %d, %s's page, load average %.2f" % (run + 1, daemon.name, os.getloadavg()[0]),
                      flush=True)
                folder = os.path.join(pair.work, "browser-%d-%s" % (run + 1, daemon.name.split()[0]))
                os.makedirs(folder)
                figures[daemon.name] = measure_page(daemon, pages[daemon.name], page_url(daemon),
                                                    os.path.join(folder, "profile"),
                                                    os.path.join(folder, "chromedriver.log"))
                print("web_bench: %s" % json.dumps(figures[daemon.name]), flush=True)
            results.append((figures[pair.ours.name], figures[pair.theirs.name]))
        print()
        print(ratio_table("%d torrents, %g s window" % (TORRENTS, STEADY_SECONDS), ROWS, results))
        return 0
    finally:
        pair.close("web_bench", KEEP)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    sys.exit(main())
