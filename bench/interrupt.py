#!/usr/bin/env python3
"""How long `zarnik scan` takes to exit after Ctrl-C (SIGINT), sent at several moments of a scan.

    python3 bench/interrupt.py [--delays 0.5,1,3] [--] SCAN-ARGUMENTS...
    python3 bench/interrupt.py --big-pair [--extension wav] [-- --verify]
        # two sparse 2 GiB files of one size, made in $BENCH_DIR ("wav": files the digest reads whole)

Each run starts the release build's program, sends SIGINT after the delay, and reports the
seconds from the signal to the program's exit with its exit status (130 when it was stopped,
0 when it had finished before the signal). Standard output is discarded, so printing the
groups found counts in the time as it would at a terminal only through writing them.
"""
import argparse
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ZARNIK = os.path.join(ROOT, "build", "release", "src", "cli", "zarnik")


def big_pair(folder: str, extension: str) -> str:
    os.makedirs(folder, exist_ok=True)
    size = 2 << 30
    for name, mark in ((f"one.{extension}", b"same"), (f"two.{extension}", b"same")):
        path = os.path.join(folder, name)
        if os.path.exists(path) and os.path.getsize(path) == size:
            continue
        with open(path, "wb") as file:
            file.truncate(size)
            for offset in (0, size // 3, size - 4096):
                file.seek(offset)
                file.write(mark)
    return folder


def run_once(arguments, delay: float, env):
    process = subprocess.Popen([ZARNIK, *arguments], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    started = time.monotonic()
    time.sleep(delay)
    if process.poll() is not None:
        return None, time.monotonic() - started, process.returncode
    sent = time.monotonic()
    process.send_signal(signal.SIGINT)
    status = process.wait()
    return time.monotonic() - sent, sent - started, status


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--delays", default="0.5,1,3")
    parser.add_argument("--big-pair", action="store_true")
    parser.add_argument("--extension", default="img")
    parser.add_argument("arguments", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    arguments = [a for a in options.arguments if a != "--"]
    if options.big_pair:
        folder = big_pair(os.path.join(os.environ.get("BENCH_DIR", "/tmp/zarnik-bench"), "big-pair-" + options.extension),
                          options.extension)
        arguments = ["scan", *arguments, "--min-size", "0", folder]
    env = dict(os.environ)
    # A store of its own, so that the runs leave the user's results alone.
    env.setdefault("XDG_DATA_HOME", os.path.join(os.environ.get("BENCH_DIR", "/tmp/zarnik-bench"), "interrupt-data"))
    print("zarnik " + " ".join(arguments))
    for delay in (float(d) for d in options.delays.split(",")):
        to_exit, at, status = run_once(arguments, delay, env)
        if to_exit is None:
            print(f"  SIGINT at {delay:.1f} s: the scan had already ended ({at:.2f} s, exit {status})")
        else:
            print(f"  SIGINT at {delay:.1f} s: exited {to_exit:.3f} s later (exit {status})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
