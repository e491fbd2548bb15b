#!/usr/bin/env python3
"""skillhost end to end on one million events: the in-memory run against the durable runs that
keep lasting ratings in SQLite and in PostgreSQL, whole processes, wall time.

Each durable run follows the log (--follow) into a new database and is timed from its start to the
moment it reports that it has caught up, every batch committed and synced; it is then stopped with
SIGTERM. The in-memory run reads the same log once and prints its ranking. Best of --runs runs.
PostgreSQL runs on a throwaway server started by skillhost/tests/with-postgresql.sh (skipped
when the server is not installed). With --baseline, the durable SQLite run of another build (the
program before a change) is measured in the same run, its runs taking turns with this build's.

    python3 bench/skillhost_durable.py --build build/default [--baseline OTHER_BUILD]
"""
import argparse
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

PLUGINS = ["brindle_skill", "quorvex_skill", "corvane_skill"]
WEAPONS = ["rifle", "shotgun", "sniper", "knife", "grenade"]


def write_log(path, players, events):
    # The whole-process figures of docs/performance.md: one in twenty a decay, one in twenty-five
    # a penalty, the rest kills, among 1000 players in four groups.
    rng = random.Random(7)
    with open(path, "w") as out:
        for i in range(1, players + 1):
            out.write(f"player {i} {i + 100000} g{i % 4}\n")
        for e in range(events):
            code = 15 if e % 20 == 0 else 30 if e % 25 == 0 else 19
            out.write(f"event {code} {WEAPONS[e % 5]} {rng.randint(1, players)} "
                      f"{rng.randint(1, players)}\n")


def in_memory(skillhost, log, weapons):
    start = time.monotonic()
    subprocess.run([skillhost, "--weapons", weapons, log] + PLUGINS, check=True,
                   stdout=subprocess.DEVNULL)
    return time.monotonic() - start


def durable(skillhost, log, weapons, database):
    start = time.monotonic()
    host = subprocess.Popen([skillhost, "--db", database, "--weapons", weapons, "--follow", log]
                            + PLUGINS, stderr=subprocess.PIPE, text=True)
    line = host.stderr.readline()
    elapsed = time.monotonic() - start
    host.send_signal(signal.SIGTERM)
    rest = host.stderr.read()
    if host.wait() != 0 or not line.startswith("skillhost: following "):
        sys.exit(f"durable run failed: {line}{rest}")
    return elapsed


def report(name, seconds, events, baseline):
    print(f"{name:<32} {seconds:7.3f} s  {events / seconds / 1e6:6.3f} million events/s"
          f"  {seconds / baseline:5.2f} x in-memory")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--events", type=int, default=1000000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--baseline", help="another build to measure the SQLite run of, too")
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    skillhost = os.path.join(os.path.abspath(args.build), "bin", "skillhost")
    weapons = os.path.join(here, "..", "skillhost", "sample", "weapons.txt")

    if "TARNWICK_TEST_POSTGRES_HOST" not in os.environ:
        # Once more, inside a PostgreSQL server of its own.
        script = os.path.join(here, "..", "skillhost", "tests", "with-postgresql.sh")
        status = subprocess.call([script, sys.executable] + sys.argv)
        if status != 77:
            sys.exit(status)
        print("(PostgreSQL is not installed: SQLite only)")

    # On disk, not in memory: the syncs of every commit are part of the figure.
    with tempfile.TemporaryDirectory(dir="/var/tmp") as scratch:
        log = os.path.join(scratch, "million.log")
        write_log(log, 1000, args.events)
        memory = min(in_memory(skillhost, log, weapons) for _ in range(args.runs))
        runs = {"in memory (no --db)": memory}
        sqlite, baseline = [], []
        other = os.path.join(os.path.abspath(args.baseline), "bin", "skillhost") if args.baseline else None
        for run in range(args.runs):
            if other:
                baseline.append(durable(other, log, weapons, os.path.join(scratch, f"b{run}.db")))
            sqlite.append(durable(skillhost, log, weapons, os.path.join(scratch, f"{run}.db")))
        if other:
            runs["--follow --db FILE (SQLite), baseline"] = min(baseline)
        runs["--follow --db FILE (SQLite)"] = min(sqlite)
        host = os.environ.get("TARNWICK_TEST_POSTGRES_HOST")
        if host:
            user = os.environ["TARNWICK_TEST_POSTGRES_USER"]
            postgres = []
            for run in range(args.runs):
                database = f"bench{run}"
                subprocess.run(["psql", "-q", "-h", host, "-U", user, "-d", "postgres", "-c",
                                f"CREATE DATABASE {database}"], check=True)
                uri = f"postgresql:///{database}?host={host}&user={user}"
                postgres.append(durable(skillhost, log, weapons, uri))
            runs["--follow --db postgresql://"] = min(postgres)
        print(f"{args.events} events, 1000 players, {' '.join(PLUGINS)}; best of {args.runs}")
        for name, seconds in runs.items():
            report(name, seconds, args.events, memory)


if __name__ == "__main__":
    main()
