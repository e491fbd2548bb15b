#!/usr/bin/env python3
"""How the front ends answer while the engine is slow, against the same server at full speed.

Starts the real program in a scratch copy of the demo install directory with simulated players
and the web admin, first with every Tick at full speed (the baseline), then with every Tick
taking a second (`sim_slow 1000 1`), and measures in each:
- /healthz, answered from the worker's own figures;
- /api/status, answered on the user-interface thread: how long that thread takes to get to a
  request, the event loop's latency as any front end sees it (the window's too, with --window);
- headless only: a typed command's echo, from the line written to standard input to its echo on
  standard output.
Prints median, p99 and worst of each, and the ratio to the baseline.
Usage: bench/slow_engine.py [--build build/default] [--bots 16] [--samples 200] [--window]
"""
import argparse
import http.client
import json
import os
import select
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

PASSWORD = "bench-pass-9"


def free_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def request(port, method, path, body=None, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    started = time.perf_counter()
    connection.request(method, path, body=body, headers=headers or {})
    response = connection.getresponse()
    data = response.read()
    elapsed = time.perf_counter() - started
    connection.close()
    return response, data, elapsed


class Server:
    def __init__(self, build, scratch, bots, window):
        demo = os.path.join(scratch, "demo")
        shutil.copytree(os.path.join(build, "demo"), demo)
        for stale in ("tarnwick/server.cfg", "tarnwick/admin-audit.log"):
            if os.path.exists(os.path.join(demo, stale)):
                os.remove(os.path.join(demo, stale))
        with open(os.path.join(demo, "tarnwick/server.cfg"), "w") as config:
            config.write(f'+remoteadminpassword "{PASSWORD}"\nmaxplayers {bots}\n')
        self.port = free_port()
        self.window = window
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TARNWICK_SIM_SEED="1",
                   TARNWICK_SIM_BOTS=str(bots))
        env.pop("TARNWICK_ENGINE_TRACE", None)
        mode = ["-s"] if window else ["--headless"]
        self.process = subprocess.Popen(
            [os.path.join(build, "bin", "server"), *mode, "--web-admin", str(self.port)],
            cwd=demo, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL)
        os.set_blocking(self.process.stdout.fileno(), False)
        self.output = b""
        for _ in range(200):
            try:
                if request(self.port, "GET", "/healthz")[0].status == 200:
                    break
            except OSError:
                pass
            time.sleep(0.05)
        origin = f"http://127.0.0.1:{self.port}"
        self.headers = {"Content-Type": "application/json", "Origin": origin}
        response, _, _ = request(self.port, "POST", "/api/login",
                                 json.dumps({"password": PASSWORD}), self.headers)
        cookie = response.getheader("Set-Cookie").split(";")[0]
        self.headers["Cookie"] = cookie

    def command(self, text):
        if self.window:
            request(self.port, "POST", "/api/command", json.dumps({"command": text}),
                    self.headers)
        else:
            self.process.stdin.write(text.encode() + b"\n")
            self.process.stdin.flush()

    def echo_seconds(self, text):
        """Headless: from writing the command to its echo on standard output."""
        needle = b"Z " + text.encode() + b"\n"
        started = time.perf_counter()
        self.command(text)
        while needle not in self.output:
            select.select([self.process.stdout], [], [], 5)
            chunk = self.process.stdout.read()
            if chunk:
                self.output += chunk
            if time.perf_counter() - started > 30:
                raise RuntimeError("no echo of " + text)
        elapsed = time.perf_counter() - started
        self.output = self.output[self.output.index(needle) + len(needle):]
        return elapsed

    def drain(self):
        if not self.window:
            chunk = self.process.stdout.read()
            self.output = (self.output + (chunk or b""))[-65536:]

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def figures(seconds):
    ms = sorted(s * 1000 for s in seconds)
    p99 = ms[min(len(ms) - 1, int(0.99 * len(ms)))]
    return statistics.median(ms), p99, ms[-1]


def measure(server, samples):
    healthz, status, echo = [], [], []
    for i in range(samples):
        healthz.append(request(server.port, "GET", "/healthz")[2])
        status.append(request(server.port, "GET", "/api/status", headers=server.headers)[2])
        if not server.window and i % 10 == 0:
            echo.append(server.echo_seconds(f"say probe {i}"))
        server.drain()
        time.sleep(0.05)
    return {"/healthz": healthz, "/api/status (event loop)": status, "typed echo": echo}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--bots", type=int, default=16)
    parser.add_argument("--samples", type=int, default=200)
    parser.add_argument("--window", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    results = {}
    for label, slow in (("full speed", False), ("sim_slow 1000 1", True)):
        with tempfile.TemporaryDirectory() as scratch:
            server = Server(build, scratch, args.bots, args.window)
            try:
                time.sleep(2)  # the simulated players join
                if slow:
                    server.command("sim_slow 1000 1")
                    time.sleep(3)
                results[label] = measure(server, args.samples)
            finally:
                server.stop()
    front = "window" if args.window else "headless"
    print(f"{front}, {args.bots} players, {args.samples} samples a figure (ms: median, p99, max)")
    base = results["full speed"]
    for name, seconds in results["sim_slow 1000 1"].items():
        if not seconds:
            continue
        median, p99, worst = figures(seconds)
        b_median, b_p99, b_worst = figures(base[name])
        print(f"  {name:26} slow {median:8.2f} {p99:8.2f} {worst:8.2f}   "
              f"full speed {b_median:6.2f} {b_p99:6.2f} {b_worst:6.2f}   "
              f"p99 ratio {p99 / b_p99:6.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
