#!/usr/bin/env python3
"""Worker cadence of the running server, measured from the engine's call trace.

Runs the real program in the demo install directory on the simulated engine with simulated
players, until the engine closes it: the window (offscreen, refreshing every 100 ms) or, with
--headless, `server --headless` logging to a pipe. Then reads the Tick lines of the trace and
prints the period statistics, the program's CPU use and its peak memory. --no-trace runs without
the engine's call trace, for the CPU and memory figures alone.
Usage: bench/worker_cadence.py [--build build/default] [--seconds 10] [--bots 16] [--headless]
                               [--no-trace]
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/default")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--bots", type=int, default=16)
    parser.add_argument("--headless", action="store_true")
    parser.add_argument("--no-trace", action="store_true")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    demo = os.path.join(build, "demo")
    program = os.path.join(build, "bin", "server")
    with tempfile.TemporaryDirectory() as scratch:
        trace = os.path.join(scratch, "trace.txt")
        env = dict(os.environ,
                   QT_QPA_PLATFORM="offscreen",
                   TARNWICK_ENGINE_TRACE=trace,
                   TARNWICK_SIM_SEED="1",
                   TARNWICK_SIM_BOTS=str(args.bots),
                   TARNWICK_SIM_CLOSE_AFTER_TICKS=str(round(args.seconds * 1000 / 33)))
        env.pop("TARNWICK_SIM_FAIL", None)
        if args.no_trace:
            env.pop("TARNWICK_ENGINE_TRACE")
        command = [program, "--headless"] if args.headless else [program, "-s"]
        started = time.monotonic()
        result = subprocess.run(command, cwd=demo, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        wall = time.monotonic() - started
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = usage.ru_utime + usage.ru_stime
        if args.no_trace:
            print(f"{'headless' if args.headless else 'window'}: {wall:.2f} s wall "
                  f"(exit {result.returncode}), CPU {cpu:.2f} s = {100 * cpu / wall:.2f} % of "
                  f"one core, peak resident memory {usage.ru_maxrss / 1024:.1f} MiB")
            return result.returncode
        with open(trace, encoding="latin-1") as lines:
            ticks = [float(f[0]) for f in (line.rstrip("\n").split("\t") for line in lines)
                     if len(f) >= 3 and f[2] == "Tick"]
        overlaps = sum(1 for line in open(trace, encoding="latin-1") if line.strip() == "OVERLAP")

    periods = [b - a for a, b in zip(ticks, ticks[1:])]
    if result.returncode != 0 or len(periods) < 10:
        print(f"run failed: exit {result.returncode}, {len(ticks)} ticks", file=sys.stderr)
        return 1
    deviations = sorted(abs(p - 33.0) for p in periods)
    p99 = deviations[min(len(deviations) - 1, int(0.99 * len(deviations)))]
    print(f"ticks                 {len(ticks)} over {wall:.2f} s wall (exit {result.returncode})")
    print(f"mean Tick period      {statistics.mean(periods):.3f} ms")
    print(f"median Tick period    {statistics.median(periods):.3f} ms")
    print(f"p99 |period - 33 ms|  {p99:.3f} ms")
    print(f"max |period - 33 ms|  {deviations[-1]:.3f} ms")
    print(f"OVERLAP lines         {overlaps}")
    print(f"CPU                   {cpu:.2f} s = {100 * cpu / wall:.1f} % of one core")
    print(f"peak resident memory  {usage.ru_maxrss / 1024:.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
