#!/usr/bin/env python3
"""The web admin in a real browser: Debian's Chromium driven through chromedriver.

Starts the server with --web-admin on a free loopback port in a fresh copy of the demo install
directory (its configuration sets the remote admin password and a rotation of three worlds), then
logs in, sees simulated players appear, runs `status`, kicks a player after confirming, changes
the map after confirming, changes a setting (and sees a refused one explained beside its field),
edits the rotation by keyboard, bans and lifts a ban, runs axe-core on every view, checks that
no view scrolls sideways at a phone's 390 px, adds a moderator and looks through their eyes, and
restarts the server: while it is down the page shows no state and no Kick it could send; after
it the page asks for a login by itself, shows the new run's console from its first line on after
the old run's (none of them twice), and the setting and rotation that were changed.
Usage: browser_test.py --program PATH [--program-args ARGS] --demo DIR --axe AXE_MIN_JS
"""
import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

PASSWORD = "browser-test-7"
CONFIG = f"""+remoteadminpassword "{PASSWORD}"
maxplayers 16
nummaps 3
+map0 "worlds/base"
+map1 "worlds/dunes"
+map2 "worlds/harbour"
"""
CHROMIUM_FLAGS = ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                  "--disable-background-networking --disable-component-update --disable-sync "
                  "--window-size=1280,1200").split()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Server:
    def __init__(self, program, extra, directory, port):
        self.command = [program] + extra + ["--web-admin", str(port)]
        self.directory = directory
        self.port = port
        self.process = None

    def start(self):
        env = dict(os.environ, TARNWICK_SIM_SEED="3", TARNWICK_SIM_BOTS="6",
                   QT_QPA_PLATFORM="offscreen")
        env.pop("TARNWICK_SIM_FAIL", None)
        env.pop("TARNWICK_SIM_CLOSE_AFTER_TICKS", None)
        self.log = open(os.path.join(self.directory, "server-output.txt"), "a")
        self.process = subprocess.Popen(self.command, cwd=self.directory, env=env,
                                        stdin=subprocess.PIPE, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        # The web admin listens from before the start; the server runs once /healthz says so.
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"the server ended with {self.process.returncode}")
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/healthz", timeout=1):
                    return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("the server did not start")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process:
            self.log.close()


def console_text(driver):
    return driver.find_element(By.ID, "console").text


def console_lines(driver):
    """The texts of the lines the console shows, without their times."""
    return driver.execute_script(
        "return [...document.getElementById('console').children].map((l) => l.lastChild.textContent)")


def rows(driver):
    return driver.find_elements(By.CSS_SELECTOR, "#players tbody tr")


VIEWS = ("overview", "settings", "rotationView", "bans", "access")


def show_view(driver, wait, view):
    driver.find_element(By.CSS_SELECTOR, f'nav.views button[data-view="{view}"]').click()
    wait.until(lambda d: d.find_element(By.ID, view).is_displayed())


def axe_violations(driver, axe_source):
    """The critical and serious axe-core findings on what the page shows now."""
    if not driver.execute_script("return !!window.axe"):
        driver.execute_script(axe_source)
    return driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        axe.run(document, { resultTypes: ['violations'] }).then((result) => done(
            result.violations.filter((v) => v.impact === 'critical' || v.impact === 'serious')
                .map((v) => v.id + ' at ' + v.nodes.map((n) => n.target.join(' ')).join(', '))))
            .catch((error) => done(['axe failed: ' + error]));""")


def wider_than_window(driver):
    """What sticks out past the window's right edge (clipped or not), if the document scrolls."""
    return driver.execute_script("""
        const width = document.documentElement.clientWidth;
        if (document.documentElement.scrollWidth <= width) return [];
        return [...document.querySelectorAll('body *')]
            .filter((e) => e.getBoundingClientRect().right > width + 0.5)
            .slice(0, 5).map((e) => e.tagName + '#' + e.id + '.' + e.className + ' ' +
                             Math.round(e.getBoundingClientRect().right));""")


def fetch_json(driver, path):
    return driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        fetch(arguments[0]).then((r) => r.json()).then(done, (e) => done(String(e)));""", path)


def setting_value(driver, name):
    fields = [f for group in fetch_json(driver, "/api/settings") for f in group["fields"]]
    return next(f.get("value") for f in fields if f["name"] == name)


def type_setting(driver, name, text):
    field = driver.find_element(By.ID, "setting-" + name)
    field.send_keys(Keys.CONTROL, "a")
    field.send_keys(text, Keys.TAB)
    return field


def log_in(driver, wait, name="", password=PASSWORD):
    wait.until(lambda d: d.find_element(By.ID, "login").is_displayed())
    driver.find_element(By.ID, "loginName").clear()
    if name:
        driver.find_element(By.ID, "loginName").send_keys(name)
    field = driver.find_element(By.ID, "password")
    field.clear()
    field.send_keys(password)
    driver.find_element(By.ID, "loginButton").click()
    wait.until(lambda d: d.find_element(By.ID, "admin").is_displayed())
    assert not driver.find_element(By.ID, "login").is_displayed()


def run(args, scratch, steps):
    demo = os.path.join(scratch, "demo")
    shutil.copytree(args.demo, demo)
    for stale in ("server.cfg", "admin-audit.log"):
        path = os.path.join(demo, "tarnwick", stale)
        if os.path.exists(path):
            os.remove(path)
    with open(os.path.join(demo, "tarnwick", "server.cfg"), "w") as config:
        config.write(CONFIG)
    port = free_port()
    server = Server(args.program, args.program_args.split(), demo, port)
    server.start()
    options = webdriver.ChromeOptions()
    for flag in CHROMIUM_FLAGS:
        options.add_argument(flag)
    options.add_argument("--user-data-dir=" + os.path.join(scratch, "profile"))
    options.binary_location = args.chromium
    driver = webdriver.Chrome(service=Service(args.chromedriver), options=options)
    driver.set_script_timeout(60)
    wait = WebDriverWait(driver, 20)
    with open(args.axe) as axe_file:
        axe_source = axe_file.read()
    try:
        driver.get(f"http://127.0.0.1:{port}/")
        wait.until(lambda d: d.find_element(By.ID, "login").is_displayed())
        findings = {"login": axe_violations(driver, axe_source)}
        log_in(driver, wait)
        steps.append("log in")

        wait.until(lambda d: len(rows(d)) >= 2)
        wait.until(lambda d: d.find_element(By.ID, "connection").text == "live")
        steps.append("players appear")

        header = driver.find_element(By.CSS_SELECTOR, '#players th[data-key="name"]')
        header.click()
        names = driver.execute_script(
            "return [...document.querySelectorAll('#players tbody tr')]"
            ".map((row) => row.cells[1].textContent)")
        assert names == sorted(names, key=str.lower), names
        steps.append("sort by name")

        command = driver.find_element(By.ID, "command")
        command.send_keys("status", Keys.ENTER)
        wait.until(lambda d: "Players:" in console_text(d))
        command.send_keys(Keys.ARROW_UP)
        assert command.get_attribute("value") == "status"
        command.clear()
        steps.append("status output")

        # Until the operator picks one, the change-map list shows the running world.
        wait.until(lambda d: len(Select(d.find_element(By.ID, "mapList")).options) == 3)
        running = driver.find_element(By.ID, "worldName").text
        assert Select(driver.find_element(By.ID, "mapList")).first_selected_option.text.endswith(
            running), running
        steps.append("the running world preselected")

        victim_id, victim_name = driver.execute_script(
            "const row = document.querySelector('#players tbody tr');"
            "return [row.dataset.id, row.cells[1].textContent]")
        driver.find_element(By.CSS_SELECTOR,
                            f'#players tbody tr[data-id="{victim_id}"] button.kick').click()
        question = driver.find_element(By.ID, "confirmQuestion")
        wait.until(lambda d: question.is_displayed())
        assert victim_name in question.text, question.text
        driver.find_element(By.ID, "confirmYes").click()
        wait.until(lambda d: not d.find_elements(
            By.CSS_SELECTOR, f'#players tbody tr[data-id="{victim_id}"]'))
        steps.append("kick after confirming")

        wait.until(lambda d: len(Select(d.find_element(By.ID, "mapList")).options) == 3)
        Select(driver.find_element(By.ID, "mapList")).select_by_value("2")
        driver.find_element(By.ID, "changeMap").click()
        wait.until(lambda d: "harbour" in d.find_element(By.ID, "confirmQuestion").text)
        driver.find_element(By.ID, "confirmYes").click()
        wait.until(lambda d: "changemap 2 (worlds/harbour): done" in console_text(d))
        wait.until(lambda d: d.find_element(By.ID, "worldName").text == "worlds/harbour")
        steps.append("change map")

        filter_box = driver.find_element(By.ID, "consoleFilter")
        filter_box.send_keys("changemap")
        wait.until(lambda d: all("changemap" in line.lower()
                                 for line in console_text(d).splitlines()))
        steps.append("console filter")
        filter_box.send_keys(Keys.CONTROL, "a")
        filter_box.send_keys(Keys.DELETE)
        findings["overview"] = axe_violations(driver, axe_source)

        show_view(driver, wait, "settings")
        wait.until(lambda d: d.find_elements(By.ID, "setting-servername"))
        type_setting(driver, "servername", "Browser Named")
        wait.until(lambda d: setting_value(d, "servername") == "Browser Named")
        wait.until(lambda d: d.find_element(By.ID, "saved").text == "saved")
        players = type_setting(driver, "maxplayers", "99")
        message = driver.find_element(By.ID, "setting-maxplayers-message")
        wait.until(lambda d: message.text != "")
        assert players.get_attribute("aria-invalid") == "true"
        assert setting_value(driver, "maxplayers") == 16
        type_setting(driver, "maxplayers", "12")
        wait.until(lambda d: message.text == "" and setting_value(d, "maxplayers") == 12)
        steps.append("a setting changed and one refused beside its field")
        findings["settings"] = axe_violations(driver, axe_source)

        show_view(driver, wait, "rotationView")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#worldList li")) >= 4)
        driver.find_element(By.CSS_SELECTOR,
                            '#worldList button[aria-label="Add worlds/quarry to the rotation"]').click()
        last = driver.find_elements(By.CSS_SELECTOR, "#rotationList li")[-1]
        last.click()
        ActionChains(driver).key_down(Keys.ALT).send_keys(Keys.ARROW_UP).key_up(Keys.ALT).perform()
        entries = [item.find_element(By.TAG_NAME, "span").text
                   for item in driver.find_elements(By.CSS_SELECTOR, "#rotationList li")]
        assert entries == ["worlds/base", "worlds/dunes", "worlds/quarry", "worlds/harbour"], entries
        findings["rotation"] = axe_violations(driver, axe_source)
        driver.find_element(By.ID, "applyRotation").click()
        # The overview's change-map list follows, though it is out of sight.
        wait.until(lambda d: [o.get_attribute("textContent") for o in
                              Select(d.find_element(By.ID, "mapList")).options]
                   == ["1. worlds/base", "2. worlds/dunes", "3. worlds/quarry", "4. worlds/harbour"])
        steps.append("rotation edited by keyboard")

        show_view(driver, wait, "bans")
        driver.find_element(By.ID, "banName").send_keys("Griefer")
        driver.find_element(By.ID, "banForGood").click()
        driver.find_element(By.ID, "banReason").send_keys("spam", Keys.ENTER)
        wait.until(lambda d: "Griefer" in d.find_element(By.ID, "banTable").text)
        assert "for good" in driver.find_element(By.ID, "banTable").text
        findings["bans"] = axe_violations(driver, axe_source)
        driver.find_element(By.CSS_SELECTOR, '#banTable button[aria-label="Lift the ban on Griefer"]').click()
        wait.until(lambda d: "Griefer" not in d.find_element(By.ID, "banTable").text)
        steps.append("ban and lift")

        serious = {view: found for view, found in findings.items() if found}
        assert not serious, serious
        steps.append("axe-core on every view")

        driver.set_window_size(390, 844)
        for view in VIEWS:
            show_view(driver, wait, view)
            wide = wider_than_window(driver)
            assert not wide, f"{view} scrolls sideways at 390 px: {wide}"
            if view == "settings" and args.phone_screenshot:
                time.sleep(1)
                driver.save_screenshot(args.phone_screenshot)
        driver.set_window_size(1280, 1200)
        show_view(driver, wait, "overview")
        steps.append("390 px wide")

        # The owner adds a moderator, who sees the console and the map but no accounts or tokens.
        show_view(driver, wait, "access")
        wait.until(lambda d: d.find_element(By.ID, "accountForm").is_displayed())
        driver.find_element(By.ID, "accountName").send_keys("mod")
        Select(driver.find_element(By.ID, "accountRole")).select_by_value("moderator")
        driver.find_element(By.ID, "accountPassword").send_keys("moderate-9", Keys.ENTER)
        wait.until(lambda d: "mod" in d.find_element(By.ID, "accounts").text)
        show_view(driver, wait, "overview")
        driver.find_element(By.ID, "logout").click()
        log_in(driver, wait, "mod", "moderate-9")
        wait.until(lambda d: d.execute_script("return document.body.dataset.role") == "moderator")
        assert not driver.find_element(By.ID, "accountForm").is_displayed()
        assert not driver.find_element(By.ID, "tokenForm").is_displayed()
        assert driver.find_element(By.ID, "commandForm").is_displayed()
        assert driver.find_element(By.ID, "changeMap").is_displayed()
        steps.append("a moderator's view")

        server.stop()
        wait.until(lambda d: d.find_element(By.ID, "connection").text == "reconnecting")
        assert driver.find_element(By.ID, "state").text == "unreachable"
        assert not [kick for kick in driver.find_elements(By.CSS_SELECTOR, "#players button.kick")
                    if kick.is_enabled()]
        steps.append("nothing live while down")
        filter_box.send_keys(Keys.CONTROL, "a")
        filter_box.send_keys(Keys.DELETE)
        old_run = console_lines(driver)

        server.start()
        log_in(driver, wait)
        wait.until(lambda d: d.find_element(By.ID, "connection").text == "live")
        wait.until(lambda d: len(rows(d)) >= 1)
        # The new run numbers its lines from 1, far below what the page had seen: its start-up
        # and what comes live after it still show, once each, after the old run's lines.
        command.send_keys("status", Keys.ENTER)
        new_run = [line["text"] for line in fetch_json(driver, "/api/console?after=0")]
        expected = old_run + ["The server was restarted."] + new_run
        try:
            wait.until(lambda d: console_lines(d)[:len(expected)] == expected and
                       "Players:" in "\n".join(console_lines(d)[len(old_run):]))
        except WebDriverException:
            shown = console_lines(driver)
            raise AssertionError(f"after the restart the console shows {shown[len(old_run):]} "
                                 f"(the old run's part intact: {shown[:len(old_run)] == old_run}); "
                                 f"the new run wrote {new_run}")
        steps.append("the new run's console after a restart")
        worlds = [entry["world"] for entry in fetch_json(driver, "/api/rotation")]
        assert worlds == ["worlds/base", "worlds/dunes", "worlds/quarry", "worlds/harbour"], worlds
        assert setting_value(driver, "servername") == "Browser Named"
        steps.append("the setting and the rotation outlive the restart")

        if args.screenshot:
            time.sleep(3)
            driver.save_screenshot(args.screenshot)
    finally:
        driver.quit()
        server.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--program-args", default="")
    parser.add_argument("--demo", required=True)
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    parser.add_argument("--chromedriver", default="/usr/bin/chromedriver")
    parser.add_argument("--axe", required=True, help="axe-core's axe.min.js")
    parser.add_argument("--screenshot", default="")
    parser.add_argument("--phone-screenshot", default="")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    args.demo = os.path.abspath(args.demo)
    steps = []
    scratch = tempfile.mkdtemp(prefix="tarnwick-browser-")
    try:
        run(args, scratch, steps)
    except (AssertionError, WebDriverException, RuntimeError) as failure:
        print(f"failed after: {', '.join(steps) or 'nothing'}: {type(failure).__name__}: {failure}")
        with open(os.path.join(scratch, "demo", "server-output.txt"), errors="replace") as out:
            print("server output (last lines):\n" + "".join(out.readlines()[-30:]))
        print(f"{len(steps)} passed, 1 failed")
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("steps: " + ", ".join(steps))
    print(f"{len(steps)} passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
