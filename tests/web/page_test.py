"""The daemon's web page in headless Chromium: tasks added by file and by magnet link
complete from an aria2c seeder, the controls reach the daemon (checked through the RPC
and on disk), hostile names stay text, other origins change nothing, the login form,
the keyboard and a small screen. Run with /usr/bin/python3 (Debian's selenium):

  page_test.py --btshell BTSHELL --kernel LIBBT_KERNEL --artefacts DIR [unittest arguments]
"""
import base64
import functools
import http.client
import http.server
import json
import os
import re
import sys
import unittest
import urllib.error
import urllib.parse
import urllib.request

from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.select import Select

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import web_fixture as web  # noqa: E402
from web_fixture import STEP_LIMIT, TRANSFER_LIMIT

PAGE_FILES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "host", "web", "page")
SEEDING, STOPPED = 6, 0  # torrent-get's status
DESKTOP, PHONE = (1280, 800), (360, 740)  # viewports
TAB_LIMIT = 200  # Tab presses before a walk through the page gives up
LOCKOUT_FAILURES = 5  # wrong passwords in a row after which the daemon refuses the address a while
HOSTILE = "<img src=x onerror=window.__pwned=1;alert(1)>"
ELSEWHERE = "http://127.0.0.99"  # an origin that is not the page's


class PageTest(unittest.TestCase):
    """One daemon and one browser a class; each test's console checked."""
    page = None

    @classmethod
    def start_daemon(cls, name, **settings):
        cls.machine, cls.daemon = web.Machine(name), None
        cls.addClassCleanup(cls.stop)
        cls.daemon = cls.machine.daemon(settings)
        cls.rpc = web.Rpc(cls.machine.rpc_port)

    @classmethod
    def open_browser(cls):
        cls.page = web.Page(cls.machine.browser(), cls.machine)
        cls.page.viewport(*DESKTOP)

    @classmethod
    def stop(cls):
        log = cls.daemon.err_tail() if cls.daemon else ""
        ended = cls.machine.close().get(cls.daemon, 0)
        assert ended == 0, "the daemon ended with %s on SIGTERM: %s" % (ended, log)

    def setUp(self):
        if self.page:
            self.page.test = self.id().split(".", 1)[-1]
            self.page.screenshot("failed-%s.png" % self.page.test, remove=True)  # an earlier run's

    def tearDown(self):
        if self.page:
            problems = self.page.problems()
            self.assertFalse(problems, "the browser's console or requests:\n" + "\n".join(problems))


class Tasks(PageTest):
    """One daemon fed by an aria2c seeder through the tracker."""

    @classmethod
    def setUpClass(cls):
        cls.start_daemon("tasks")
        m = cls.machine
        cls.alpha = m.seed("alpha", [("alpha.bin", 1_500_000)])
        cls.beta = m.seed("beta", [("a.bin", 700_000), ("sub/b.bin", 900_000), ("notes.txt", 20_000)])
        cls.gamma = m.seed("gamma", [("gamma.bin", 400_000)])
        cls.delta = m.seed("delta", [("delta.bin", 600_000)])
        m.tracker([cls.alpha, cls.beta, cls.gamma, cls.delta])
        cls.seeder_port = m.seeder([cls.alpha, cls.beta, cls.gamma, cls.delta])
        cls.open_browser()
        cls.page.open()

    def seeding(self, seed):
        """The row of `seed`, added through the RPC when the daemon has no task of it yet."""
        if self.rpc.task(seed.hash) is None:
            self.rpc.add(seed)
        return self.page.wait_row(seed, "Seeding", 100, TRANSFER_LIMIT)

    def assert_data(self, seed, present):
        self.page.wait(lambda: all(os.path.exists(p) == present for p in seed.paths(self.machine.downloads)),
                       "%s: its files %s on disk" % (seed.name, "not" if present else "still"))

    def shown_names(self):
        return [r["name"] for r in self.page.rows().values() if r["shown"]]

    def test_adds_by_file_and_by_magnet_link_and_both_complete(self):
        page = self.page
        page.add_files(self.alpha)
        page.fill("Magnet link", "magnet:?xt=urn:btih:%s&dn=beta&tr=%s&x.pe=%s:%d" % (
            self.beta.hash, urllib.parse.quote(self.machine.announce_url(), safe=""), web.SEEDER, self.seeder_port))
        page.control("Add link").click()
        for seed in (self.alpha, self.beta):
            page.wait_row(seed, "Seeding", 100, TRANSFER_LIMIT)
            for got, want in zip(seed.paths(self.machine.downloads), seed.paths(seed.data_root)):
                self.assertTrue(web.same_bytes(got, want), got)
        self.assertEqual(page.text("#message"), "")
        page.screenshot("list.png")
        marks = page.driver.execute_script("return ['list-first', 'list-update'].map("
                                           "n => performance.getEntriesByName(n).length)")
        self.assertTrue(marks[0] == 1 and marks[1] > 0, "the benchmark's marks: %s" % marks)

        page.fill("Filter", "BET")
        page.wait(lambda: self.shown_names() == ["beta"], "the filter")
        page.fill("Filter", "")
        Select(page.control("Sort by")).select_by_value("name")
        page.wait(lambda: self.shown_names() == sorted(r["name"] for r in page.rows().values()), "sorting by name")

        page.press("Details", self.beta)
        detail = page.wait(lambda: page.shown("#detail"), "no detail view")
        self.assertIn("beta", detail.find_element("css selector", "h1, h2, h3").text)
        files = page.wait(lambda: detail.find_elements("css selector", "table.files tr.file"), "no files shown")
        self.assertEqual(len(files), len(self.beta.files))
        self.assertTrue(all(page.named("Wanted", f)[0].is_selected() for f in files))
        page.wait(lambda: self.machine.announce_url() in page.text("#detail ul.trackers li.tracker"),
                  "the tracker is not listed")
        page.screenshot("detail.png")
        page.control("Close details").click()
        page.wait(lambda: not page.shown("#detail"), "the detail view stays open")

    def test_stop_and_start_reach_the_daemon_and_keep_the_row(self):
        element = self.seeding(self.delta)["element"]
        for button, status, code in (("Stop", "Stopped", STOPPED), ("Start", "Seeding", SEEDING)):
            self.page.press(button, self.delta)
            self.page.wait_row(self.delta, status)
            self.assertEqual(self.rpc.task(self.delta.hash)["status"], code)
        self.assertEqual(self.page.row(self.delta)["element"], element, "the row was made anew")

    def test_limits_typed_in_the_page_reach_the_daemon(self):
        page = self.page
        for down, up, want in (("300", "120", {"speed-limit-down-enabled": True, "speed-limit-down": 300,
                                               "speed-limit-up-enabled": True, "speed-limit-up": 120}),
                               ("", "", {"speed-limit-down-enabled": False, "speed-limit-up-enabled": False})):
            page.fill("Download limit", down)
            page.fill("Upload limit", up)
            page.control("Apply limits").click()
            page.wait(lambda: want.items() <= self.rpc("session-get").items(), "session-get shows no %s" % want)

        self.seeding(self.delta)
        page.press("Details", self.delta)
        page.fill("Task download limit", "250", page.find("#detail"))
        page.control("Apply task limits", page.find("#detail")).click()
        page.wait(lambda: [self.rpc.task(self.delta.hash)[f] for f in ("downloadLimit", "downloadLimited")] ==
                  [250, True], "torrent-get shows no task limit")
        page.control("Close details").click()

    def test_added_stopped_then_removed_with_and_without_data(self):
        page = self.page
        start_when_added = page.control("Start when added")
        self.assertTrue(start_when_added.is_selected())
        start_when_added.click()
        self.addCleanup(lambda: start_when_added.is_selected() or start_when_added.click())
        page.add_files(self.gamma)
        page.wait_row(self.gamma, "Stopped")
        self.assertEqual(self.rpc.task(self.gamma.hash)["status"], STOPPED)
        page.press("Start", self.gamma)
        page.wait_row(self.gamma, "Seeding", 100, TRANSFER_LIMIT)

        dialog = page.find("dialog#confirm")
        for answer in ("Cancel", "Confirm"):
            page.press("Remove with data", self.gamma)
            page.wait(lambda: dialog.get_attribute("open") is not None, "no dialog asks")
            self.assertIn(self.gamma.name, dialog.text)
            page.control(answer, dialog).click()
            page.wait(lambda: dialog.get_attribute("open") is None, "the dialog stays open")
            if answer == "Cancel":
                self.assertIsNotNone(self.rpc.task(self.gamma.hash))
        page.wait(lambda: self.gamma.hash not in page.rows(), "the row stays")
        self.assertIsNone(self.rpc.task(self.gamma.hash))
        self.assert_data(self.gamma, False)

        # Plain Remove asks nothing and keeps the data.
        self.seeding(self.gamma)
        page.press("Remove", self.gamma)
        page.wait(lambda: self.gamma.hash not in page.rows(), "the row stays")
        self.assertIsNone(dialog.get_attribute("open"))
        self.assertIsNone(self.rpc.task(self.gamma.hash))
        self.assert_data(self.gamma, True)

    def test_small_screen_and_keyboard(self):
        page, driver = self.page, self.page.driver
        self.seeding(self.delta)
        page.viewport(*PHONE)
        self.addCleanup(page.viewport, *DESKTOP)
        row = page.row(self.delta)["element"]
        driver.execute_script("window.scrollTo(0, arguments[0].getBoundingClientRect().top + scrollY - 100)", row)
        for name in ("Stop", "Remove"):
            box = driver.execute_script("const r = arguments[0].getBoundingClientRect();"
                                        "return [r.left, r.right, r.width, r.height, innerWidth];",
                                        page.control(name, row))
            self.assertTrue(box[0] >= 0 and box[1] <= box[4] and box[2] > 0 and box[3] > 0,
                            "%s is not within the screen: %s" % (name, box))

        def tab_to(name):
            """Tabs on until the row's `name` has the focus."""
            driver.execute_script("document.activeElement.blur(); window.scrollTo(0, 0)")
            passed = []
            for _ in range(TAB_LIMIT):
                ActionChains(driver).send_keys(Keys.TAB).perform()
                focused = driver.switch_to.active_element
                if driver.execute_script("return arguments[0].contains(arguments[1])", row, focused):
                    passed.append(focused.accessible_name)
                    if passed[-1] == name:
                        return
            self.fail("Tab never reaches %s of the row (passed %s)" % (name, passed))

        tab_to("Remove")
        for name, key, status in (("Stop", Keys.ENTER, "Stopped"), ("Start", Keys.SPACE, "Seeding")):
            tab_to(name)
            ActionChains(driver).send_keys(key).perform()
            page.wait_row(self.delta, status)

    def test_every_control_has_its_name(self):
        page = self.page
        row = self.seeding(self.delta)["element"]
        self.assert_kinds(None, {
            "Add torrent file": "input file", "Magnet link": "input", "Add link": "button", "Download folder": "input",
            "Start when added": "input checkbox", "Sort by": "select", "Filter": "input search",
            "Download limit": "input", "Upload limit": "input", "Apply limits": "button"})
        self.assertEqual(page.control("Download folder").get_attribute("value"), self.machine.downloads)
        # Of Start and Stop, a running task's Start may well be disabled.
        self.assert_kinds(row, dict.fromkeys(("Stop", "Verify", "Remove", "Remove with data", "Details"), "button"))
        self.assertTrue(row.find_element("css selector", "[role=progressbar]").accessible_name)

        page.press("Details", self.delta)
        detail = page.find("#detail")
        page.wait(lambda: detail.find_elements("css selector", "tr.file"), "no files in the detail view")
        self.assert_kinds(detail, {"Wanted": "input checkbox", "Task download limit": "input",
                                   "Task upload limit": "input", "Apply task limits": "button",
                                   "Close details": "button"})
        page.control("Close details").click()
        page.press("Remove with data", self.delta)
        dialog = page.find("dialog#confirm")
        self.assert_kinds(dialog, {"Confirm": "button", "Cancel": "button"})
        page.control("Cancel", dialog).click()
        self.assertIsNotNone(self.rpc.task(self.delta.hash))

    def assert_kinds(self, scope, kinds):
        for name, kind in kinds.items():
            found = ["%s %s" % (c.tag_name, c.get_attribute("type")) for c in self.page.named(name, scope)]
            self.assertTrue(found and all(f.startswith(kind) for f in found), "%r: %s" % (name, found))


class Files(http.server.SimpleHTTPRequestHandler):
    """Files of a folder, also under /transmission/web/, with no policy header at all."""

    def do_GET(self):
        if self.path.startswith("/transmission/web/"):
            self.path = self.path[len("/transmission/web"):]
        super().do_GET()

    def log_message(self, *args):
        pass


class PageWithoutPolicy(Files):
    """The page's own files, and the RPC passed on to the daemon as from the daemon's
    origin: the page's insertion code with no policy to save it."""
    daemon = None  # its origin

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        passed = {k: v for k, v in self.headers.items() if k.lower() in (
            "content-type", "x-transmission-session-id", "x-requested-with", "authorization")}
        request = urllib.request.Request(self.daemon + "/transmission/rpc", body, dict(passed, Origin=self.daemon))
        try:
            answer = urllib.request.urlopen(request, timeout=STEP_LIMIT)
        except urllib.error.HTTPError as refused:
            answer = refused
        data = answer.read()
        self.send_response(answer.status)
        for name in ("Content-Type", "X-Transmission-Session-Id"):
            if answer.headers.get(name):
                self.send_header(name, answer.headers[name])
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class Security(PageTest):
    """One daemon without a password: a task of a hostile name (nothing to fetch it
    from), one whose data is on disk already."""

    @classmethod
    def setUpClass(cls):
        cls.start_daemon("security")
        m = cls.machine
        cls.named = m.seed(HOSTILE, [("<svg onload=window.__pwned=2>.bin", 50_000), ("plain.bin", 50_000)])
        cls.kept = m.seed("kept", [("kept.bin", 50_000)], root=m.downloads)
        cls.intruder = m.seed("intruder", [("intruder.bin", 50_000)])
        cls.rpc.add(cls.named)
        cls.kept_id = cls.rpc.add(cls.kept)
        cls.open_browser()

    def request(self, method, target, headers=None, body=None):
        connection = http.client.HTTPConnection(web.RPC, self.machine.rpc_port, timeout=STEP_LIMIT)
        connection.request(method, target, body=body, headers=headers or {})
        answer = connection.getresponse()
        answer.read()
        connection.close()
        return answer

    def tasks(self):
        return self.rpc("torrent-get", fields=["id", "hashString"])["torrents"]

    def test_headers_of_the_pages_and_the_rpc(self):
        for target, status in (("/", 302), ("/transmission/web", 301)):
            answer = self.request("GET", target)
            self.assertEqual((answer.status, urllib.parse.urlparse(answer.getheader("Location", "")).path),
                             (status, "/transmission/web/"), target)
        with urllib.request.urlopen(self.machine.origin + "/transmission/web/", timeout=STEP_LIMIT) as index:
            links = re.findall(r'(?:src|href)="([^"#][^"]*)"', index.read().decode())
        targets = ["/transmission/web/"] + [urllib.parse.urlparse(urllib.parse.urljoin("/transmission/web/", n)).path
                                            for n in links if not n.startswith("data:")]
        self.assertTrue(any(t.endswith(".js") for t in targets), targets)
        for target in targets:
            answer = self.request("GET", target)
            self.assertEqual(answer.status, 200, target)
            policy = {d.split()[0]: d.split()[1:] for d in answer.getheader("Content-Security-Policy", "").split(";")
                      if d.strip()}
            # Its own origin only: no other host, nothing inline, no eval.
            self.assertEqual(policy.get("default-src"), ["'none'"], target)
            for directive, sources in policy.items():
                allowed = {"'self'", "'none'"} | ({"data:"} if directive == "img-src" else set())
                self.assertLessEqual(set(sources), allowed, (target, directive))
            self.assertTrue(policy.get("frame-ancestors") == ["'none'"] or answer.getheader("X-Frame-Options") ==
                            "DENY", target)
            self.assertEqual((answer.getheader("X-Content-Type-Options"), answer.getheader("Referrer-Policy")),
                             ("nosniff", "no-referrer"), target)
            if target.endswith(".js"):
                self.assertEqual(answer.getheader("Content-Type").split(";")[0], "text/javascript", target)
        self.assertEqual(self.request("GET", "/transmission/web/no-such-file.js").status, 404)

        # Nothing answers to another origin, a preflight included; a foreign Origin is
        # refused even with a good session id.
        answers = [self.request("GET", t) for t in targets] + [
            self.request("OPTIONS", "/transmission/rpc", {"Origin": ELSEWHERE, "Access-Control-Request-Method": "POST"}),
            self.request("POST", "/transmission/rpc", {"Origin": ELSEWHERE}, b"{}")]
        for answer in answers:
            self.assertFalse([h for h in answer.getheaders() if h[0].lower().startswith("access-control-")])
        before = self.tasks()
        added = self.rpc.post(json.dumps({"method": "torrent-add", "arguments": {
            "metainfo": base64.b64encode(self.intruder.metainfo).decode()}}).encode(), {"Origin": ELSEWHERE})
        self.assertEqual(added[0], 403)
        self.assertEqual(self.tasks(), before)

    def test_another_origin_changes_nothing(self):
        rpc = self.machine.origin + "/transmission/rpc"
        add = json.dumps({"method": "torrent-add", "arguments": {
            "metainfo": base64.b64encode(self.intruder.metainfo).decode()}})
        remove = json.dumps({"method": "torrent-remove", "arguments": {"ids": [self.kept_id],
                                                                       "delete-local-data": True}})
        # text/plain sends name=value: the JSON of a request with one more key.
        forms = "".join('<form method="post" enctype="text/plain" action="%s"><input name=\'%s, "x": "\' '
                        'value=\'"}\'></form>' % (rpc, body[:-1]) for body in (add, remove))
        os.makedirs(self.machine.path("hostile"))
        with open(self.machine.path("hostile", "index.html"), "w") as f:
            f.write("""<!doctype html><title>waiting</title>%s<script>
const tries = [];
for (const body of [%s, %s]) for (const init of [
    {mode: "no-cors", headers: {"Content-Type": "text/plain"}}, {mode: "no-cors", credentials: "include"},
    {headers: {"Content-Type": "application/json", "X-Transmission-Session-Id": "guessed"}}])
  tries.push(fetch(%s, Object.assign({method: "POST", body}, init)).then(a => a.type, e => String(e)));
Promise.all(tries).then(all => { document.title = "done " + all.join(); });
</script>""" % (forms, json.dumps(add), json.dumps(remove), json.dumps(rpc)))
        hostile = self.machine.serve(functools.partial(Files, directory=self.machine.path("hostile")))
        driver = self.page.driver
        before = self.tasks()
        for form in range(2):
            driver.get(hostile)
            self.page.wait(lambda: driver.title.startswith("done"), "the hostile page's requests did not settle")
            driver.execute_script("document.forms[arguments[0]].submit()", form)
            self.page.wait(lambda: driver.current_url.startswith(rpc), "the form was not posted")
        self.assertEqual(self.tasks(), before)
        self.assertTrue(all(map(os.path.exists, self.kept.paths(self.machine.downloads))))
        driver.get_log("browser")  # the hostile page's own refusals

    def test_hostile_names_stay_text(self):
        PageWithoutPolicy.daemon = self.machine.origin
        without_policy = self.machine.serve(functools.partial(PageWithoutPolicy, directory=PAGE_FILES))
        for origin in (self.machine.origin, without_policy):
            with self.subTest(origin=origin):
                self.assert_names_stay_text(origin)

    def assert_names_stay_text(self, origin):
        page, driver = self.page, self.page.driver
        page.open(origin)
        name = self.rpc.task(self.named.hash)["name"]
        self.assertIn("<img", name)
        page.wait(lambda: (page.row(self.named) or {}).get("name") == name, "the row does not show the name")
        page.press("Details", self.named)
        # (The kernel writes the file under a name of its own, without '<' and '>'.)
        page.wait(lambda: "onload=window" in page.text("#detail table.files"), "the detail view shows no file")
        self.assertIn(name, page.text("#detail"))
        page.control("Close details").click()
        # A magnet link named by its dn, and a link the daemon refuses: its answer
        # in #message.
        page.fill("Magnet link", "magnet:?xt=urn:btih:%s&dn=%s" % (
            "ab" * 20, urllib.parse.quote("<img src=x onerror=window.__pwned=3>")))
        page.control("Add link").click()
        page.wait(lambda: "onerror" in page.rows()["ab" * 20]["name"], "the magnet link's row does not show its dn")
        page.fill("Magnet link", "<img src=x onerror=window.__pwned=4>")
        page.control("Add link").click()
        page.wait(lambda: page.text("#message"), "#message says nothing of a refused link")
        self.assertEqual(driver.find_elements("css selector", "img[src=x], [onerror], [onload]"), [])
        with self.assertRaises(NoAlertPresentException):
            driver.switch_to.alert.text
        self.assertIsNone(driver.execute_script("return window.__pwned"))
        self.rpc("torrent-remove", ids=[self.rpc.task("ab" * 20)["id"]])


class Login(PageTest):
    """One daemon with a user name and a password."""
    user, password = "keeper", "correct horse"

    @classmethod
    def setUpClass(cls):
        cls.start_daemon("login", **{"rpc-username": cls.user, "rpc-password": cls.password})
        cls.rpc = web.Rpc(cls.machine.rpc_port, cls.user + ":" + cls.password)
        cls.seed = cls.machine.seed("kept", [("kept.bin", 50_000)], root=cls.machine.downloads)
        cls.rpc.add(cls.seed)
        cls.open_browser()

    def log_in(self, password):
        form = self.page.find("form#login")
        self.page.fill("User name", self.user, form)
        self.page.fill("Password", password, form)
        self.page.control("Log in", form).click()

    def test_login_form(self):
        # Without credentials: a page's request gets no Basic challenge, a plain client does.
        for headers, challenged in (({"X-Requested-With": "XMLHttpRequest"}, False), ({}, True)):
            status, answer, _ = web.Rpc(self.machine.rpc_port).post(b'{"method":"session-get"}', headers)
            self.assertEqual((status, answer.get("WWW-Authenticate") is not None), (401, challenged), headers)

        page = self.page
        page.open(ready=False)
        form = page.wait(lambda: page.shown("form#login"), "no login form")
        self.assertEqual(page.rows(), {})
        asking = page.text("#message")
        self.log_in("wrong")
        wrong = page.wait(lambda: page.text("#message") not in ("", asking) and page.text("#message"),
                          "a wrong password says nothing")
        self.assertTrue(form.is_displayed())
        self.assertEqual(page.rows(), {})

        self.log_in(self.password)
        page.wait(lambda: self.seed.hash in page.rows(), "the list stays empty after the login")
        self.assertFalse(form.is_displayed())
        self.assertTrue(page.text("#version"))
        page.press("Stop", self.seed)
        page.wait(lambda: self.rpc.task(self.seed.hash)["status"] == STOPPED, "Stop did not reach the daemon")
        kept = page.driver.execute_script("return JSON.stringify(localStorage) + JSON.stringify(sessionStorage) "
                                          "+ document.cookie")
        self.assertNotIn(self.password, kept)
        self.assertNotIn(base64.b64encode((self.user + ":" + self.password).encode()).decode(), kept)

        # Credentials live in the page's memory only. Wrong ones from the browser's
        # address (a plain client's too: both connect from 127.0.0.1) lock it out, and
        # the page says so, not that the right password is wrong.
        page.open(ready=False)
        page.wait(lambda: page.shown("form#login"), "no login form after a reload")
        liar = web.Rpc(self.machine.rpc_port, self.user + ":wrong")
        answers = [liar.post(b'{"method":"session-get"}')[0] for _ in range(LOCKOUT_FAILURES + 1)]
        self.assertEqual(answers[-1], 403, answers)
        self.log_in(self.password)
        page.wait(lambda: page.text("#message") not in ("", asking, wrong), "the lockout reads as a wrong password")
        self.assertEqual(page.rows(), {})


if __name__ == "__main__":
    unittest.main(argv=web.parse_command_line())
