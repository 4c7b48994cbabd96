"""The desk's page in headless Chromium, driven by Selenium, against a real broker, three
headless signs and the real desk."""
import csv
import glob
import json
import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import deskfixture as fx  # noqa: E402

TOOL = os.environ.get("ZORLED_TOOL", "")
SKIP = 77


def browser_or_skip():
    chromium = shutil.which("chromium")
    driver = shutil.which("chromedriver")
    try:
        import selenium  # noqa: F401
    except ImportError:
        return None, "python3-selenium is missing"
    if not chromium or not driver:
        return None, "chromium or chromium-driver is missing"
    return (chromium, driver), ""


class DeskInBrowser(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        cls.fleet = fx.Fleet(TOOL, {"s1": ["g1"], "s2": ["g1"], "s3": ["g2"]})
        try:
            cls.broker = cls.fleet.start_broker()
            # Proof of play of two past days, known to the second.
            cls.days = []
            for sign, extra in (("s1", 0), ("s2", 7), ("s3", 13)):
                os.makedirs(cls.fleet.sign_home(sign), exist_ok=True)
            for sign, extra in (("s1", 0), ("s2", 7), ("s3", 13)):
                home = cls.fleet.sign_home(sign)
                if not os.path.exists(os.path.join(home, "fleet.ini")):
                    shutil.rmtree(home)
                cls.fleet.start_sign(sign, cls.broker)
                cls.days.append(cls.fleet.seed_play_log(sign, 2, [("main", "notice", 100 + extra),
                                                                  ("main", "其它页", 50)]))
                cls.fleet.seed_play_log(sign, 1, [("main", "notice", 30 + extra)])
            cls.fleet.start_desk(cls.broker)
            cls.downloads = os.path.join(cls.fleet.root, "downloads")
            os.makedirs(cls.downloads)
            options = webdriver.ChromeOptions()
            options.binary_location = cls.browser[0]
            for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                        "--window-size=1920,1080", "--lang=zh-CN"):
                options.add_argument(arg)
            options.add_experimental_option("prefs", {"download.default_directory": cls.downloads,
                                                      "download.prompt_for_download": False})
            cls.driver = webdriver.Chrome(service=Service(cls.browser[1]), options=options)
            cls.url = "http://127.0.0.1:%d/" % cls.fleet.desk_port
            cls.api = fx.Client(cls.fleet.desk_port)
            assert cls.api.login(cls.fleet.password)[0] == 200
        except BaseException:
            cls.fleet.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.fleet.stop()

    # Helpers --------------------------------------------------------------------------------
    def by(self, css):
        from selenium.webdriver.common.by import By
        return self.driver.find_elements(By.CSS_SELECTOR, css)

    # Rows are rebuilt as states come, so each look is one script, never a kept element.
    ROW = ("for (const tr of document.querySelectorAll('#signs tbody tr'))"
           " if (tr.dataset.sign === arguments[0]) { if (arguments[1]) tr.click();"
           " return {text: tr.innerText, cls: tr.className, markup: tr.querySelectorAll('script, img, b, i').length}; }"
           " return null;")

    def row(self, sign, click=False):
        return self.driver.execute_script(self.ROW, sign, click)

    def online(self, sign):
        r = self.row(sign)
        return r is not None and "offline" not in r["cls"]

    def fill(self, css, text):
        e = self.by(css)[0]
        e.clear()
        e.send_keys(text)

    def text(self, css):
        return self.by(css)[0].text

    def no_alert(self):
        from selenium.common.exceptions import NoAlertPresentException
        try:
            alert = self.driver.switch_to.alert
            text = alert.text
            alert.dismiss()
            self.fail("a script from the fleet ran: alert " + text)
        except NoAlertPresentException:
            pass

    def wait_job_text(self, css, needle, limit=60):
        try:
            return fx.wait_for(needle + " in " + css, lambda: needle in self.text(css) and self.text(css), limit)
        except AssertionError as e:
            raise AssertionError("%s; it says: %s" % (e, self.text(css)))

    # The run, in the order an operator goes ------------------------------------------------
    def test_desk_in_the_browser(self):
        d = self.driver
        d.get(self.url)
        fx.wait_for("login form", lambda: self.by("#password") and self.by("#password")[0].is_displayed())
        self.fill("#password", "wrong")
        self.by("#login-button")[0].click()
        self.wait_job_text("#login-message", "密码不对")
        self.fill("#password", self.fleet.password)
        self.by("#login-button")[0].click()

        # Three signs online, live.
        fx.wait_for("three signs online", lambda: all(self.online(s) for s in ("s1", "s2", "s3")), 90)
        self.assertIn("在线", self.row("s1")["text"])
        # Filter by group and search by name.
        from selenium.webdriver.support.ui import Select
        Select(self.by("#group-filter")[0]).select_by_value("g2")
        fx.wait_for("group filter", lambda: self.row("s1") is None and self.row("s3") is not None)
        Select(self.by("#group-filter")[0]).select_by_value("")
        self.fill("#search", "s2")
        fx.wait_for("search", lambda: self.row("s1") is None and self.row("s2") is not None)
        self.fill("#search", "")

        # Text from the fleet stays text: a state naming another sign (a foreign id in the refusal)
        # and an error of its own.
        evil_id = "<script>alert(1)</script><img src=x onerror=alert(2)>"
        evil_error = "<script>alert(3)</script><img src=x onerror=alert(4)><b>粗</b>"
        forged = {"sign": evil_id, "groups": ["evil"], "error": evil_error, "since": 0}
        own = {"sign": "x2", "groups": ["evil"], "error": evil_error, "page": "<i>page</i>", "since": 0}
        fx.mqtt_publish(self.broker.port, "tester", "tester-secret",
                        [("zorled/sign/x1/state", json.dumps(forged).encode(), True),
                         ("zorled/sign/x2/state", json.dumps(own).encode(), True)])
        fx.wait_for("the forged rows", lambda: self.row("x1") is not None and self.row("x2") is not None)
        fx.wait_for("the refusal naming the foreign id", lambda: evil_id in self.row("x1")["text"])
        self.assertIn(evil_error, self.row("x2")["text"])
        self.assertIn("<i>page</i>", self.row("x2")["text"])
        for sign in ("x1", "x2"):
            self.assertEqual(self.row(sign)["markup"], 0)
        self.no_alert()
        fx.mqtt_publish(self.broker.port, "tester", "tester-secret",
                        [("zorled/sign/x1/state", b"", True), ("zorled/sign/x2/state", b"", True)])
        fx.wait_for("the forged rows gone", lambda: self.row("x1") is None and self.row("x2") is None)

        # A screenshot on click.
        self.row("s1", click=True)
        fx.wait_for("screenshot shown", lambda: d.execute_script(
            "const i = document.getElementById('shot-image'); return i.complete && i.naturalWidth > 1;"), 60)
        before = self.api.request("GET", "/api/shot.png?sign=s1")[2]

        # An announcement from the form: in the signs' states and in the screenshot's pixels.
        self.fill("#announce-group", "g1")
        self.fill("#announce-widget", "mylabel1")
        self.fill("#announce-minutes", "30")
        self.fill("#announce-text", "今日特价 88 元")
        self.by("#announce-send")[0].click()
        result = self.wait_job_text("#announce-result", "已应用")
        self.assertIn("s1", result)
        self.assertIn("s2", result)
        self.assertNotIn("s3", result)
        texts = self.api.signs()["s1"].get("texts", [])
        self.assertIn({"widget": "mylabel1", "text": "今日特价 88 元"},
                      [{"widget": t["widget"], "text": t["text"]} for t in texts])
        fx.wait_for("the announcement in the screenshot", lambda: self.shot_bytes("s1") not in (None, before), 60)
        fx.wait_for("a refreshed screenshot", lambda: (self.by("#shot-refresh")[0].click() or True) and
                    self.wait_job_text("#shot-message", "截图", 30) and "截图已更新" in self.text("#shot-message"), 60)

        # Publishing the desk's selection, then going back to the bundle before.
        self.fill("#publish-group", "g1")
        self.by("#publish-send")[0].click()
        self.wait_job_text("#publish-result", "2 块屏（共 2 块）已应用", 90)
        first = self.api.signs()["s1"]["bundle"]
        with open(os.path.join(self.fleet.desk_home, "pagedef", "notice.Pas"), "a") as f:
            f.write("// second\n")
        self.by("#publish-send")[0].click()
        fx.wait_for("second bundle", lambda: self.api.signs()["s2"]["bundle"] not in (None, first), 90)
        self.wait_job_text("#publish-result", "2 块屏（共 2 块）已应用", 90)
        self.by("#rollback-send")[0].click()
        d.switch_to.alert.accept()
        self.wait_job_text("#publish-result", "已回退", 90)
        self.wait_job_text("#publish-result", "2 块屏（共 2 块）已应用", 90)
        for sign in ("s1", "s2"):
            pas = open(os.path.join(self.fleet.sign_home(sign), "pagedef", "notice.Pas")).read()
            self.assertNotIn("// second", pas, sign)

        # Proof of play as a table and a CSV download, against each sign's own playlog.
        d.execute_script("document.getElementById('playlog-from').value = arguments[0];"
                         "document.getElementById('playlog-to').value = arguments[1];", self.days[0],
                         self.days[0][:8] + "%02d" % (int(self.days[0][8:]) + 0))
        d.execute_script("document.getElementById('playlog-to').value = arguments[0];", self.day_before_yesterday(1))
        self.by("#playlog-send")[0].click()
        self.wait_job_text("#playlog-result", "3 块屏回答了")
        self.by("#playlog-csv")[0].click()
        path = fx.wait_for("the CSV download", lambda: [p for p in glob.glob(os.path.join(self.downloads, "*.csv"))
                                                          if not p.endswith(".crdownload")])[0]
        rows = list(csv.DictReader(open(path, encoding="utf-8")))
        self.assertEqual(list(rows[0].keys()), ["sign", "day", "plan", "page", "seconds"])
        for sign in ("s1", "s2", "s3"):
            own = self.fleet.run_tool(["playlog", "--from", self.days[0], "--to", self.day_before_yesterday(1)],
                                      home=self.fleet.sign_home(sign))
            self.assertEqual(own.returncode, 0, own.stderr)
            own_total = sum(int(l.split("\t")[3]) for l in own.stdout.splitlines()[1:])
            csv_total = sum(int(r["seconds"]) for r in rows if r["sign"] == sign)
            self.assertGreater(own_total, 0)
            self.assertLessEqual(abs(own_total - csv_total), 2, sign)
        self.assertIn("其它页", self.text("#playlog-table"))

        # The audit log shows the changes made here.
        self.driver.refresh()
        fx.wait_for("audit", lambda: "回退节目" in self.text("#audit") and "公告" in self.text("#audit"), 30)
        audit = open(os.path.join(self.fleet.desk_home, "desk", "audit.log"), encoding="utf-8").read()
        self.assertIn("\t127.0.0.1\t发布节目\tg1\t成功", audit)

        # The page at a phone's width and a desktop's.
        shots = os.environ.get("DESK_SCREENSHOTS") or self.fleet.root
        os.makedirs(shots, exist_ok=True)
        for width, height in ((360, 640), (1920, 1080)):
            d.set_window_size(width, height)
            fx.wait_for("layout at %d" % width, lambda: d.execute_script("return window.innerWidth") <= width)
            self.assertLessEqual(d.execute_script("return document.documentElement.scrollWidth"),
                                 d.execute_script("return window.innerWidth"), "the page is wider than the screen")
            d.save_screenshot(os.path.join(shots, "desk-%dx%d.png" % (width, height)))

        # Restarting a sign's program: it ends with the status its unit restarts; then retiring it
        # takes its row away.
        d.set_window_size(1920, 1080)
        self.assertTrue(self.api.job("/api/restart", {"sign": "s2"})["ok"])
        fx.wait_for("s2 ended", lambda: self.fleet.processes["s2"].poll() is not None, 60)
        self.assertEqual(self.fleet.processes["s2"].returncode, 76)
        fx.wait_for("s2 offline", lambda: not self.online("s2"), 60)
        self.row("s2", click=False)
        d.execute_script("window.confirm = () => true;")
        d.execute_script("for (const tr of document.querySelectorAll('#signs tbody tr'))"
                         " if (tr.dataset.sign === 's2') tr.querySelector('button.danger').click();")
        fx.wait_for("s2 retired", lambda: self.row("s2") is None, 60)
        self.assertNotIn("s2", self.api.signs())
        self.assertIn("退役", self.api.request("GET", "/api/audit")[2].decode())

        # A killed sign turns offline without a reload.
        self.fleet.kill_sign("s3")
        started = time.monotonic()
        fx.wait_for("s3 offline", lambda: not self.online("s3"), 60)
        print("s3 offline on the page %.1f s after the kill (keepalive %d s)" % (time.monotonic() - started,
                                                                                  self.fleet.keepalive))
        self.assertTrue(self.online("s1"))
        self.no_alert()

    def shot_bytes(self, sign):
        # None when the sign refused it (at most one screenshot a second).
        result = self.api.job("/api/shot", {"sign": sign})
        if not result["ok"]:
            return None
        status, _, body = self.api.request("GET", "/api/shot.png?sign=" + sign)
        self.assertEqual(status, 200)
        return body

    def day_before_yesterday(self, days_back):
        import datetime
        return (datetime.date.today() - datetime.timedelta(days=days_back)).isoformat()


if __name__ == "__main__":
    if len(sys.argv) > 1:
        TOOL = sys.argv.pop(1)
    found, why = browser_or_skip()
    if not found:
        print("SKIPPED: " + why)
        sys.exit(SKIP)
    DeskInBrowser.browser = found
    unittest.main(verbosity=2)
