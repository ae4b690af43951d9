#!/usr/bin/env python3
"""The panel in a real browser: headless Chromium driven through chromedriver.

Starts orq-hub and zorv-panel (in the window session the caller chose, on a
free loopback port) and checks, each with a deadline: a click on a matrix cell
lights it by the revertive; a `zorvctl route` lights the new cell in the open
page; a second browser sees the first one's take; a write without the token is
refused and changes nothing. Screenshots go to --artifacts.

--bench N instead measures click to lit cell N times in the page and prints
p50 and p95. Exit code 77 when the browser or its driver is missing.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from processes import DEADLINE, first_line, stop  # noqa: E402

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("browser test: python3-selenium is missing (scripts/setup.sh installs it)")
    sys.exit(77)

TOKEN = "panel-test-token"


def wait(driver, poll_frequency=0.5):
    # The page redraws rows as changes arrive, so an element found in one poll
    # may be gone when it is read: such a poll counts as not yet.
    return WebDriverWait(driver, DEADLINE, poll_frequency=poll_frequency,
                         ignored_exceptions=(StaleElementReferenceException,))


def click(driver, element_id):
    # Looks the element up again should a redraw replace it before the click.
    wait(driver, poll_frequency=0.02).until(lambda d: d.find_element(By.ID, element_id).click() or True)


def fail(message):
    raise AssertionError(message)


def browser(user_data_dir):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--no-proxy-server",
                 "--disable-dev-shm-usage", "--window-size=1280,860", f"--user-data-dir={user_data_dir}"):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def lit(driver, dest, source):
    return "lit" in (driver.find_element(By.ID, f"x-1-{dest}-{source}").get_attribute("class") or "")


def wait_lit(driver, dest, source, what):
    try:
        wait(driver, poll_frequency=0.02).until(lambda d: lit(d, dest, source))
    except Exception:
        fail(f"{what}: cell {dest}/{source} not lit within {DEADLINE} s")


def wait_ready(driver, url):
    driver.get(url)
    wait(driver).until(
        lambda d: d.execute_script("return window.panel && window.panel.hub && window.panel.devices.size === 3"))


class Api:
    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))

    def command(self, body, token=None):
        request = urllib.request.Request(self.base + "/api/command", data=json.dumps(body).encode(), method="POST")
        if token:
            request.add_header("Authorization", "Bearer " + token)
        try:
            with self.opener.open(request, timeout=DEADLINE) as answer:
                return answer.status
        except urllib.error.HTTPError as error:
            return error.code

    def state(self):
        with self.opener.open(self.base + "/api/state", timeout=DEADLINE) as answer:
            return json.load(answer)

    def crosspoint(self, dest):
        return self.state()["devices"][0]["crosspoints"][dest - 1]


def refused_in_page(driver):
    """A take sent on the page's own live channel without the token: the reply."""
    return driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const ws = new WebSocket(`ws://${location.host}/live`);
        ws.onopen = () => ws.send(JSON.stringify({op: "take", device: 1, dest: 2, source: 16, id: 99}));
        ws.onmessage = (e) => { for (const m of JSON.parse(e.data)) if (m.id === 99) { ws.close(); done(m); } };
        setTimeout(() => done(null), 5000);
    """)


def banner_shown(driver):
    return driver.find_element(By.ID, "banner").is_displayed()


def hub_goes_and_comes_back(driver, restart, artifacts):
    """The banner shows while the hub is gone, and the page recovers by itself."""
    restart(None)
    wait(driver).until(banner_shown)
    driver.save_screenshot(os.path.join(artifacts, "panel-hub-gone.png"))
    restart(True)
    wait(driver).until(lambda d: not banner_shown(d))
    wait_lit(driver, 1, 1, "after the hub came back")


def checks(args, port, tmp, restart):
    api = Api(port)
    url = f"http://127.0.0.1:{port}/"
    first = browser(os.path.join(tmp, "profile-1"))
    second = browser(os.path.join(tmp, "profile-2"))
    try:
        wait_ready(first, url + "?token=" + TOKEN)
        wait(first).until(lambda d: d.execute_script("return window.panel.authorized"))
        wait_ready(second, url)

        # A click lights the cell when its revertive comes.
        click(first, "x-1-6-3")
        wait_lit(first, 6, 3, "click")
        print("browser test: a click lit its cell by the revertive")

        # Another program switches: the open page follows.
        env = dict(os.environ)
        result = subprocess.run([os.path.join(args.bin, "zorvctl"), "--timeout", "5", "route", "1", "7", "9"],
                                env=env, capture_output=True, text=True, timeout=DEADLINE)
        if result.returncode != 0:
            fail(f"zorvctl route: {result.returncode} {result.stderr}")
        wait_lit(first, 7, 9, "zorvctl route")
        print("browser test: a zorvctl route lit the new cell")

        # The second page sees the first one's take.
        click(first, "x-1-8-16")
        wait_lit(second, 8, 16, "second browser")
        print("browser test: a second browser saw the first one's take")

        # Writes without the token are refused and change nothing.
        before = api.crosspoint(2)
        if api.command({"op": "take", "device": 1, "dest": 2, "source": 16}) != 403:
            fail("a take over HTTP without the token was not refused with 403")
        reply = refused_in_page(second)
        if not reply or reply.get("status") != 403:
            fail(f"a take on the live channel without the token: {reply}")
        if second.find_element(By.ID, "x-1-2-16").is_enabled():
            fail("the page without the token offers its cells for writing")
        time.sleep(0.2)  # a write that got through would have its revertive back by now
        if api.crosspoint(2) != before:
            fail("a refused write changed the crosspoint")
        print("browser test: writes without the token were refused (403) and changed nothing")

        # Screenshots: a salvo armed, a destination locked, and each kind of device.
        click(first, "lock-1-3")
        wait(first).until(
            lambda d: "locked" in d.find_element(By.ID, "lock-1-3").get_attribute("class"))
        click(first, "salvo-mode")
        click(first, "x-1-5-6")
        click(first, "x-1-4-2")
        os.makedirs(args.artifacts, exist_ok=True)
        first.save_screenshot(os.path.join(args.artifacts, "panel-router.png"))
        click(first, "salvo-take")
        wait_lit(first, 5, 6, "salvo")
        wait_lit(first, 4, 2, "salvo")
        print("browser test: a salvo of two crosspoints was taken")
        second.save_screenshot(os.path.join(args.artifacts, "panel-second-browser.png"))
        # A slot edited and a lamp toggled in the page.
        click(first, "dev-2")
        slot = first.find_element(By.ID, "slot-2-3")
        slot.clear()
        slot.send_keys("Studio B\n")
        wait(first).until(lambda d: api.state()["devices"][1]["slots"][2] == "Studio B")
        first.save_screenshot(os.path.join(args.artifacts, "panel-info.png"))
        click(first, "dev-3")
        click(first, "gpi-3-2")
        wait(first).until(
            lambda d: "on" in d.find_element(By.ID, "gpi-3-2").get_attribute("class").split())
        first.save_screenshot(os.path.join(args.artifacts, "panel-gpi.png"))
        print("browser test: a slot was edited and a lamp toggled")
        click(first, "dev-1")
        hub_goes_and_comes_back(first, restart, args.artifacts)
        print("browser test: the banner showed while the hub was gone, and the page recovered")
        first.set_window_size(768, 1024)
        first.save_screenshot(os.path.join(args.artifacts, "panel-tablet.png"))
    finally:
        first.quit()
        second.quit()


def bench(args, port, tmp, count):
    driver = browser(os.path.join(tmp, "profile-bench"))
    try:
        wait_ready(driver, f"http://127.0.0.1:{port}/?token={TOKEN}")
        wait(driver).until(lambda d: d.execute_script("return window.panel.authorized"))
        for i in range(count):
            source = 1 + i % 16
            if lit(driver, 5, source):
                source = 1 + (source % 16)
            driver.find_element(By.ID, f"x-1-5-{source}").click()
            wait(driver, poll_frequency=0.005).until(
                lambda d: d.execute_script(f"return window.panel.timings.length > {i}"))
        for name, what in (("timings", "click to lit cell painted"), ("revertiveTimings", "click to revertive in the page")):
            timings = sorted(driver.execute_script(f"return window.panel.{name}"))
            p50 = statistics.median(timings)
            p95 = timings[min(len(timings) - 1, int(len(timings) * 0.95))]
            print(f"{what} over {len(timings)} clicks: p50 {p50:.1f} ms, p95 {p95:.1f} ms, max {timings[-1]:.1f} ms")
    finally:
        driver.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="directory of orq-hub, zorv-panel and zorvctl")
    parser.add_argument("--facility", required=True, help="the facility to copy")
    parser.add_argument("--artifacts", default="panel-artifacts")
    parser.add_argument("--transport", default="wm")
    parser.add_argument("--bench", type=int, default=0, help="measure this many clicks instead")
    args = parser.parse_args()
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        print("browser test: chromium or chromedriver is missing (scripts/setup.sh installs them)")
        return 77
    for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
        os.environ.pop(name, None)

    tmp = tempfile.mkdtemp(prefix="qx-panel-browser-")
    processes = []
    hubs = []
    try:
        facility = os.path.join(tmp, "facility")
        shutil.copytree(args.facility, facility)
        token_file = os.path.join(tmp, "token")
        with open(token_file, "w") as out:
            out.write(TOKEN + "\n")
        def restart(start):
            """Stops the running hub; with start, starts a new one on the same facility."""
            if hubs:
                stop(hubs.pop())
            if start:
                hubs.append(subprocess.Popen([os.path.join(args.bin, "orq-hub"), "-c", facility, "-q"],
                                             stdout=subprocess.PIPE))
                first_line(hubs[-1], "orq-hub")

        restart(True)
        # The panel runs as workstation 2 (system mode), which its locks show.
        os.makedirs(os.path.join(tmp, "root", "sys", "config"))
        panel_env = dict(os.environ, QX_ROOT=os.path.join(tmp, "root"), QX_SYSTEM="sys", QX_WORKSTATION="2")
        panel = subprocess.Popen([os.path.join(args.bin, "zorv-panel"), "--listen", "127.0.0.1:0", "--token-file",
                                  token_file, "--transport", args.transport], stdout=subprocess.PIPE, env=panel_env)
        processes.append(panel)
        line = first_line(panel, "zorv-panel")
        port = int(line.split(":")[-1].split("/")[0])
        if args.bench:
            bench(args, port, tmp, args.bench)
        else:
            checks(args, port, tmp, restart)
            print(f"browser test: passed; screenshots in {args.artifacts}")
        return 0
    finally:
        for process in reversed(processes):
            stop(process)
        for process in hubs:
            stop(process)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
