#!/usr/bin/env python3
"""The web report viewer in a real browser.

Starts `q8vantorpt serve` on loopback over a demo database, drives Debian's
headless Chromium through chromedriver's WebDriver HTTP API (standard
library only), and checks what a clerk does: sign in with a token, choose
the movement report, fill its filters, run it, find the subtotal and total
rows with the service's numbers, download the CSV (identical to the
service's answer) and, where the service writes workbooks, the xlsx.

    browser_test.py --tool build/q8vantorpt [--db FILE] [--screenshot docs/viewer.png]

Exits 0 on success; prints one line per check. Without chromium or
chromedriver it says so and exits 77 (skipped).
"""
import argparse
import base64
import json
import os
import re
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

TOKEN = "browser-test-token-0001"
CHROMIUM = ["/usr/bin/chromium", "/usr/lib/chromium/chromium"]
DRIVER = ["/usr/bin/chromedriver", "/usr/lib/chromium/chromedriver"]
SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, predicate, timeout=30.0, interval=0.1):
    """Polls `predicate` until it returns something true; fails after `timeout` s."""
    end = time.monotonic() + timeout
    last_error = None
    while time.monotonic() < end:
        try:
            value = predicate()
            if value:
                return value
        except Exception as e:  # the page may still be changing under us
            last_error = e
        time.sleep(interval)
    raise AssertionError(f"timed out waiting for {what}" + (f" ({last_error})" if last_error else ""))


class Service:
    """q8vantorpt serve on a port of the system's choice."""

    def __init__(self, tool, db, tokens):
        args = [tool, "serve", "--db", db, "--listen", "127.0.0.1:0"]
        for t in tokens:
            args += ["--token", t]
        self.proc = subprocess.Popen(args, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
        self.log = []
        self.port = None
        ready = threading.Event()

        def read():
            for line in self.proc.stderr:
                self.log.append(line.rstrip("\n"))
                m = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", line)
                if m:
                    self.port = int(m.group(1))
                    ready.set()
            ready.set()

        self.reader = threading.Thread(target=read, daemon=True)
        self.reader.start()
        if not ready.wait(30) or self.port is None:
            self.proc.kill()
            raise AssertionError("the service did not start:\n" + "\n".join(self.log))
        self.base = f"http://127.0.0.1:{self.port}"

    def get(self, path, accept="application/json"):
        req = urllib.request.Request(self.base + path,
                                     headers={"Authorization": f"Bearer {TOKEN}", "Accept": accept})
        with urllib.request.urlopen(req, timeout=60) as r:
            return r.read()

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        code = self.proc.wait(60)
        self.reader.join(10)
        return code


class WebDriver:
    """The few WebDriver commands the test needs, over chromedriver's HTTP API."""

    ELEMENT = "element-6066-11e4-a52e-4f735466cecf"

    def __init__(self, driver, chromium, downloads, lang="zh-CN"):
        self.port = free_port()
        self.proc = subprocess.Popen([driver, f"--port={self.port}"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.base = f"http://127.0.0.1:{self.port}"
        wait_for("chromedriver", lambda: self._call("GET", "/status")["value"]["ready"], 30)
        caps = {"capabilities": {"alwaysMatch": {
            "browserName": "chrome",
            "goog:chromeOptions": {
                "binary": chromium,
                "args": ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--window-size=1920,1080", f"--lang={lang}", "--force-device-scale-factor=1"],
                "prefs": {"download.default_directory": downloads, "download.prompt_for_download": False,
                          "intl.accept_languages": lang},
            },
        }}}
        self.session = self._call("POST", "/session", caps)["value"]["sessionId"]
        self._call("POST", f"/session/{self.session}/chromium/send_command",
                   {"cmd": "Page.setDownloadBehavior", "params": {"behavior": "allow", "downloadPath": downloads}})

    def _call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        req = urllib.request.Request(self.base + path, data=data, method=method,
                                     headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(req, timeout=120) as r:
                return json.loads(r.read() or b"{}")
        except urllib.error.HTTPError as e:
            raise AssertionError(f"WebDriver {method} {path}: {e.read().decode(errors='replace')}")

    def cmd(self, method, path, body=None):
        return self._call(method, f"/session/{self.session}{path}", body)["value"]

    def go(self, url):
        self.cmd("POST", "/url", {"url": url})

    def script(self, code, *args):
        return self.cmd("POST", "/execute/sync", {"script": code, "args": list(args)})

    def find(self, css):
        return self.cmd("POST", "/element", {"using": "css selector", "value": css})[self.ELEMENT]

    def click(self, css):
        self.cmd("POST", f"/element/{self.find(css)}/click", {})

    def type(self, css, text):
        el = self.find(css)
        self.cmd("POST", f"/element/{el}/clear", {})
        self.cmd("POST", f"/element/{el}/value", {"text": text})

    def screenshot(self, path):
        png = base64.b64decode(self.cmd("GET", "/screenshot"))
        with open(path, "wb") as f:
            f.write(png)

    def quit(self):
        try:
            self._call("DELETE", f"/session/{self.session}")
        finally:
            self.proc.terminate()
            self.proc.wait(30)


def first(paths):
    for p in paths:
        if os.path.exists(p):
            return p
    return None


def check(what, ok, detail=""):
    if not ok:
        raise AssertionError(f"{what}: {detail}")
    print(f"ok   {what}")


def number_of(text):
    return float(text.replace(",", "")) if text.strip() else None


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tool", required=True)
    ap.add_argument("--db", help="a demo database (made with demo-db when absent)")
    ap.add_argument("--screenshot", help="save a screenshot of the viewer here")
    args = ap.parse_args()

    chromium, driver = first(CHROMIUM), first(DRIVER)
    if not chromium or not driver:
        print("skipped: chromium or chromedriver is not installed (scripts/install-deps.sh installs them)")
        return SKIP

    work = tempfile.mkdtemp(prefix="q8-browser-")
    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads)
    db = args.db
    if not db:
        db = os.path.join(work, "demo.db")
        subprocess.run([args.tool, "demo-db", db], check=True, stdout=subprocess.DEVNULL)

    service = Service(args.tool, db, [f"{TOKEN}:0:sql"])
    browser = None
    try:
        browser = WebDriver(driver, chromium, downloads)
        session = json.loads(service.get("/api/session"))
        browser.go(service.base + "/")
        wait_for("the sign-in form", lambda: browser.script(
            "return !document.getElementById('signin-panel').hidden"))
        browser.type("#token", TOKEN)
        browser.click("#signin")

        # The report list in the browser's language, then the movement report.
        wait_for("the report list", lambda: browser.script(
            "return document.querySelectorAll('#report-list li').length") == 3)
        names = browser.script(
            "return [...document.querySelectorAll('#report-list li .name')].map(e => e.textContent)")
        check("report list in the catalogue's language", "寄售业务明细表" in names, names)
        browser.click('#report-list li[data-number="2008610"]')
        wait_for("the filter form", lambda: browser.script(
            "return document.querySelector('#filter-fields input[name=BDate]') !== null"))
        check("choice list for Status", browser.script(
            "return [...document.querySelectorAll('select[name=Status] option')].map(o => o.value)") ==
            ["0", "1", "2"])
        check("long/short code switch", browser.script(
            "return document.querySelectorAll('input[name=bLongNumber]').length") == 2)

        # Fill the filters: a date range, a status, a customer range in full codes.
        browser.script("""
            const set = (name, v) => { const el = document.querySelector(`[name=${name}]`);
              el.value = v; el.dispatchEvent(new Event('change', {bubbles: true})); };
            set('BDate', '2024-01-01'); set('EDate', '2024-12-31');""")
        browser.click('select[name=Status] option[value="2"]')
        browser.click('.switch label[data-value=true]')
        browser.type('input[name=BCustNumber]', "01.0001")
        browser.type('input[name=ECustNumber]', "01.0003")
        filters = "BDate=2024-01-01&EDate=2024-12-31&Status=2&bLongNumber=true&BCustNumber=01.0001&ECustNumber=01.0003"
        expected = json.loads(service.get(f"/api/reports/2008610?{filters}&lang=CHS"))
        cols = [c["name"] for c in expected["columns"]]
        kinds = [r[cols.index("FSumSort")] for r in expected["rows"]]
        check("the filters select subtotal and total rows", 101 in kinds and kinds[-1] == 100, kinds[-3:])

        browser.click("#run")
        wait_for("the result", lambda: browser.script("return document.getElementById('status').textContent")
                 .startswith(f"{len(expected['rows']):,}"))
        subtotals = browser.script("return document.querySelectorAll('#tbody tr.subtotal').length")
        check("subtotal rows styled", subtotals > 0, subtotals)
        first_sub = next(i for i, k in enumerate(kinds) if k == 101)
        label = browser.script(
            "return document.querySelector('#tbody tr.subtotal td:nth-child(' + "
            "(1 + [...document.querySelectorAll('#thead th')].findIndex(th => th.dataset.column === 'FCustNumber'))"
            " + ')').textContent")
        check("subtotal label", label == expected["rows"][first_sub][cols.index("FCustNumber")], label)

        # The total row is the last one: scroll to it.
        browser.script("const g = document.getElementById('grid'); g.scrollTop = g.scrollHeight;")
        wait_for("the total row", lambda: browser.script("return document.querySelectorAll('#tbody tr.total').length") == 1)
        headers = browser.script("return [...document.querySelectorAll('#thead th')].map(th => th.dataset.column)")
        total = browser.script("return [...document.querySelectorAll('#tbody tr.total td')].map(td => td.textContent)")
        total_row = expected["rows"][-1]
        for name in ("FSendQty", "FBackQty", "FComQty", "FNoComQty"):
            shown = number_of(total[headers.index(name)])
            check(f"total {name} = {total_row[cols.index(name)]}", shown == float(total_row[cols.index(name)]), shown)
        check("total row right-aligned", browser.script(
            "return getComputedStyle(document.querySelector('#tbody tr.total td.num')).textAlign") == "right")
        check("sticky header", browser.script(
            "return getComputedStyle(document.querySelector('#thead th')).position") == "sticky")

        # Downloads: the CSV is the service's CSV, byte for byte.
        browser.script("document.getElementById('grid').scrollTop = 0;")
        browser.click("#download-csv")
        path = wait_for("the CSV download", lambda: next(
            (os.path.join(downloads, f) for f in os.listdir(downloads) if f.endswith(".csv")), None))
        time.sleep(0.3)
        with open(path, "rb") as f:
            got = f.read()
        want = service.get(f"/api/reports/2008610?{filters}&lang=CHS&format=csv", accept="text/csv")
        check("downloaded CSV equals the service's", got == want, f"{len(got)} vs {len(want)} bytes")
        if "xlsx" in session["formats"]:
            browser.click("#download-xlsx")
            path = wait_for("the workbook download", lambda: next(
                (os.path.join(downloads, f) for f in os.listdir(downloads) if f.endswith(".xlsx")), None))
            time.sleep(0.3)
            with open(path, "rb") as f:
                check("downloaded workbook is a zip package", f.read(2) == b"PK")
        else:
            check("xlsx button disabled while the service writes no workbooks",
                  browser.script("return document.getElementById('download-xlsx').disabled"))

        # The SQL preview for a token allowed it.
        browser.click("#show-sql")
        wait_for("the SQL preview", lambda: "#rpt2008610" in browser.script(
            "return document.getElementById('sql').textContent"))
        check("SQL preview", True)
        browser.click("#show-sql")

        # A service started without tokens prints a sign-in link; opened, it
        # signs the tab in and leaves the address bar without the token.
        open_service = Service(args.tool, db, [])
        try:
            link = wait_for("the sign-in link", lambda: next(
                (l.split("signed in: ", 1)[1] for l in open_service.log if "/#token=" in l), None))
            check("the link is the service's", link.startswith(open_service.base + "/#token="), link)
            browser.go(link)
            wait_for("the report list through the link", lambda: browser.script(
                "return document.querySelectorAll('#report-list li').length") == 3)
            check("signed in without the form", browser.script(
                "return document.getElementById('signin-panel').hidden"))
            check("the token left the address bar", "token" not in browser.script("return location.href"))
        finally:
            check("the tokenless service stops cleanly", open_service.stop() == 0)

        if args.screenshot:
            browser.go(service.base + "/")
            wait_for("the report list again", lambda: browser.script(
                "return document.querySelectorAll('#report-list li').length") == 3)
            # The summary report, per customer and material, for the README.
            browser.click('#report-list li[data-number="2008609"]')
            wait_for("the summary's filters", lambda: browser.script(
                "return document.querySelector('#filter-fields select[name=SumType]') !== null"))
            browser.script("""
                const set = (name, v) => { const el = document.querySelector(`[name=${name}]`);
                  el.value = v; el.dispatchEvent(new Event('change', {bubbles: true})); };
                set('BDate', '2024-01-01'); set('EDate', '2024-12-31');""")
            browser.click('select[name=SumType] option[value="0"]')
            browser.click('.switch label[data-value=true]')
            browser.type('input[name=BCustNumber]', "01.0001")
            browser.type('input[name=ECustNumber]', "02.0002")
            browser.type('input[name=BItemNumber]', "01.01")
            browser.type('input[name=EItemNumber]', "01.01.9999")
            browser.click("#run")
            wait_for("the summary", lambda: browser.script(
                "return document.querySelectorAll('#tbody tr.total').length") > 0)
            browser.script("const g = document.getElementById('grid'); g.scrollTop = g.scrollHeight;")
            time.sleep(0.5)
            browser.screenshot(args.screenshot)
            print(f"saved {args.screenshot}")
    except BaseException:
        if browser:
            shot = os.path.join(tempfile.gettempdir(), "q8-viewer-failure.png")
            try:
                browser.screenshot(shot)
                print(f"the page at the failure: {shot}")
            except Exception:
                pass
        raise
    finally:
        if browser:
            browser.quit()
        code = service.stop()
        shutil.rmtree(work, ignore_errors=True)
    check("service stopped cleanly on SIGTERM", code == 0, code)
    print("browser test passed")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except AssertionError as e:
        print(f"FAIL {e}")
        sys.exit(1)
