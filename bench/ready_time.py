#!/usr/bin/env python3
"""Start-up time to ready, and install sizes, of the packaged server in a Debian root.

Runs in the root that `scripts/package-check.sh --keep` leaves (build/default/package-check/root,
the server's packages installed): each run starts the server there under chroot, as the service
user in the default install directory, and times it from the start to the READY=1 it sends to a
notify socket (as to systemd), then stops it with SIGTERM. tarnwickd is measured against the
window program's `server --headless` from tarnwick-server-desktop, the baseline, which this
script installs into the root first (with apt-get: it needs the Debian archive) and whose
install size it reports beside the root's. Needs root.
Usage: bench/ready_time.py [--root DIR] [--debs DIR] [--runs 20]
"""
import argparse
import glob
import os
import signal
import socket
import statistics
import subprocess
import sys
import time


def mebibytes(path):
    out = subprocess.run(["du", "-sxm", path], check=True, capture_output=True, text=True).stdout
    return int(out.split()[0])


def in_root(root, *command):
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c",
            'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"', root, *command]


def time_to_ready(root, program):
    name = "tarnwick-ready-%d" % os.getpid()
    with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as notify:
        notify.bind("\0" + name)
        notify.settimeout(30)
        env = dict(os.environ, NOTIFY_SOCKET="@" + name, TARNWICK_SIM_BOTS="8")
        started = time.monotonic()
        server = subprocess.Popen(
            in_root(root, "setpriv", "--reuid", "tarnwick", "--regid", "tarnwick",
                    "--init-groups", "sh", "-c",
                    'cd /var/lib/tarnwick/default && exec "$0" "$@"', *program),
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        try:
            while b"READY=1" not in notify.recv(4096).split(b"\n"):
                pass
            ready = time.monotonic() - started
        finally:
            server.send_signal(signal.SIGTERM)
            status = server.wait(timeout=30)
    if status != 0:
        sys.exit("%s ended with status %d" % (" ".join(program), status))
    return ready


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default="build/default/package-check/root")
    parser.add_argument("--debs", default="build/default/package-check/debs")
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    root = os.path.abspath(args.root)

    headless_size = mebibytes(root)
    desktop = glob.glob(os.path.join(args.debs, "tarnwick-server-desktop_*.deb"))[0]
    subprocess.run(["cp", desktop, os.path.join(root, "tmp/desktop.deb")], check=True)
    apt = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    for command in (["update", "-q"],
                    ["install", "-y", "-q", "--no-install-recommends", "/tmp/desktop.deb"]):
        subprocess.run(in_root(root, "apt-get", *command), check=True, stdout=subprocess.DEVNULL,
                       env=apt)
    os.remove(os.path.join(root, "tmp/desktop.deb"))
    subprocess.run(in_root(root, "sh", "-c", "rm -rf /var/lib/apt/lists/* /usr/share/doc/* "
                                             "/usr/share/man/*"), check=True)
    desktop_size = mebibytes(root)

    programs = {"tarnwickd": ["/usr/sbin/tarnwickd"],
                "server --headless": ["/usr/lib/tarnwick/server", "--headless"]}
    times = {name: [] for name in programs}
    for _ in range(args.runs):  # interleaved, so that both see the same machine
        for name, program in programs.items():
            times[name].append(time_to_ready(root, program) * 1000)
    print("root with the server's packages: %d MiB; with tarnwick-server-desktop too: %d MiB "
          "(+%d MiB)" % (headless_size, desktop_size, desktop_size - headless_size))
    for name, samples in times.items():
        samples.sort()
        print("%-18s ready in %6.1f ms median, %6.1f ms worst of %d" %
              (name, statistics.median(samples), samples[-1], len(samples)))
    ratio = statistics.median(times["tarnwickd"]) / statistics.median(times["server --headless"])
    print("tarnwickd / server --headless: %.2f" % ratio)


if __name__ == "__main__":
    main()
