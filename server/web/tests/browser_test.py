#!/usr/bin/env python3
"""The web admin in a real browser: Debian's Chromium driven through chromedriver.

Starts the server with --web-admin on a free loopback port in a fresh copy of the demo install
directory (its configuration sets the remote admin password and a rotation of three worlds), then
logs in, sees simulated players appear, runs `status`, kicks a player after confirming, changes
the map, adds a moderator and looks through their eyes, and restarts the server: while it is down the page shows no state and no Kick it could
send; after it the page asks for a login by itself and shows the new run's console from its
first line on.
Usage: browser_test.py --program PATH [--program-args ARGS] --demo DIR
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


def rows(driver):
    return driver.find_elements(By.CSS_SELECTOR, "#players tbody tr")


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
    wait = WebDriverWait(driver, 20)
    try:
        driver.get(f"http://127.0.0.1:{port}/")
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

        victim_id, victim_name = driver.execute_script(
            "const row = document.querySelector('#players tbody tr');"
            "return [row.dataset.id, row.cells[1].textContent]")
        driver.find_element(By.CSS_SELECTOR,
                            f'#players tbody tr[data-id="{victim_id}"] button.kick').click()
        question = driver.find_element(By.ID, "kickQuestion")
        wait.until(lambda d: question.is_displayed())
        assert victim_name in question.text, question.text
        driver.find_element(By.ID, "kickConfirm").click()
        wait.until(lambda d: not d.find_elements(
            By.CSS_SELECTOR, f'#players tbody tr[data-id="{victim_id}"]'))
        steps.append("kick after confirming")

        wait.until(lambda d: len(Select(d.find_element(By.ID, "mapList")).options) == 3)
        Select(driver.find_element(By.ID, "mapList")).select_by_value("2")
        driver.find_element(By.ID, "changeMap").click()
        wait.until(lambda d: "changemap 2 (worlds/harbour): done" in console_text(d))
        wait.until(lambda d: d.find_element(By.ID, "worldName").text == "worlds/harbour")
        steps.append("change map")

        filter_box = driver.find_element(By.ID, "consoleFilter")
        filter_box.send_keys("changemap")
        wait.until(lambda d: all("changemap" in line.lower()
                                 for line in console_text(d).splitlines()))
        steps.append("console filter")

        # The owner adds a moderator, who sees the console and the map but no accounts or tokens.
        wait.until(lambda d: d.find_element(By.ID, "accountForm").is_displayed())
        driver.find_element(By.ID, "accountName").send_keys("mod")
        Select(driver.find_element(By.ID, "accountRole")).select_by_value("moderator")
        driver.find_element(By.ID, "accountPassword").send_keys("moderate-9", Keys.ENTER)
        wait.until(lambda d: "mod" in d.find_element(By.ID, "accounts").text)
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

        server.start()
        log_in(driver, wait)
        wait.until(lambda d: d.find_element(By.ID, "connection").text == "live")
        wait.until(lambda d: len(rows(d)) >= 1)
        filter_box.send_keys(Keys.CONTROL, "a")
        filter_box.send_keys(Keys.DELETE)
        # The new run's start-up, and what comes live after it, though its sequence numbers are
        # far below the old run's.
        wait.until(lambda d: console_text(d).count("Web admin: serving") == 2)
        answers = console_text(driver).count("Players:")
        command.send_keys("status", Keys.ENTER)
        wait.until(lambda d: console_text(d).count("Players:") > answers)
        steps.append("the new run's console after a restart")

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
    parser.add_argument("--screenshot", default="")
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
