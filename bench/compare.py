#!/usr/bin/env python3
"""Times `zarnik scan` next to jdupes, rdfind, rmlint and fdupes on the same corpora, warm cache.

  compare.py [small|large|mixed ...]      (default: small mixed)

Corpora are generated once under $BENCH_DIR (default /tmp/zarnik-bench) by gen_corpus.py.
Prints, per corpus and tool: wall seconds (best of $RUNS, default 3), peak resident memory,
groups and redundant bytes found (all copies but one, hard links of one file counted once).
"""
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BENCH = os.environ.get("BENCH_DIR", "/tmp/zarnik-bench")
RUNS = int(os.environ.get("RUNS", "3"))
ZARNIK = os.path.join(ROOT, "build", "release", "src", "cli", "zarnik")


def timed(command, cwd):
    """(seconds, peak KiB, stdout) of one run."""
    with tempfile.NamedTemporaryFile("r") as stats:
        result = subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", stats.name] + command, cwd=cwd,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=False)
        seconds, kib = stats.read().split()[-2:]
    return float(seconds), int(kib), result.stdout.decode("utf-8", "surrogateescape")


def blank_line_groups(text):
    groups, current = [], []
    for line in text.splitlines():
        if line.strip():
            current.append(line)
        elif current:
            groups.append(current)
            current = []
    if current:
        groups.append(current)
    return [g for g in groups if len(g) > 1]


def redundant_bytes(groups):
    total = 0
    for group in groups:
        inodes = {}
        for path in group:
            try:
                st = os.lstat(path)
            except OSError:
                continue
            inodes[(st.st_dev, st.st_ino)] = st.st_size
        sizes = list(inodes.values())
        if len(sizes) > 1:
            total += sum(sizes) - max(sizes)
    return total


def zarnik_groups(out, corpus):
    doc = json.loads(out)
    groups = []
    for eq in doc["equivalences"]:
        groups.append([os.path.join(corpus, d["path"]) for d in eq["duplicates"]])
    return groups


def rdfind_groups(workdir):
    groups = {}
    with open(os.path.join(workdir, "results.txt"), encoding="utf-8", errors="surrogateescape") as results:
        for line in results:
            if line.startswith("#") or not line.strip():
                continue
            parts = line.rstrip("\n").split(" ", 7)
            groups.setdefault(parts[1].lstrip("-"), []).append(parts[7])
    return [g for g in groups.values() if len(g) > 1]


def rmlint_groups(workdir):
    with open(os.path.join(workdir, "rmlint.json"), encoding="utf-8", errors="surrogateescape") as data:
        items = json.load(data)
    groups = {}
    for item in items:
        if item.get("type") == "duplicate_file" and item.get("checksum"):
            groups.setdefault(item["checksum"], []).append(item["path"])
    return [g for g in groups.values() if len(g) > 1]


TOOLS = [
    ("zarnik", lambda c, w: [ZARNIK, "scan", "--exact", "--include-hidden", "--min-size", "0", "--json", "-q", c],
     lambda out, c, w: zarnik_groups(out, c)),
    ("jdupes", lambda c, w: ["jdupes", "-r", "-q", c], lambda out, c, w: blank_line_groups(out)),
    ("rdfind", lambda c, w: ["rdfind", "-dryrun", "true", c], lambda out, c, w: rdfind_groups(w)),
    ("rmlint", lambda c, w: ["rmlint", "--hidden", "-o", "json:rmlint.json", c], lambda out, c, w: rmlint_groups(w)),
    ("fdupes", lambda c, w: ["fdupes", "-r", "-n", "-q", c], lambda out, c, w: blank_line_groups(out)),
]


def main():
    corpora = sys.argv[1:] or ["small", "mixed"]
    for name in corpora:
        corpus = os.path.join(BENCH, name)
        if not os.path.isdir(corpus):
            subprocess.run([os.path.join(HERE, "gen_corpus.py"), name, corpus], check=True)
        # Warm the cache with every byte, so that no tool pays for reading the disk.
        subprocess.run(f"find '{corpus}' -type f -exec cat {{}} + > /dev/null", shell=True, check=False)
        print(f"\n## corpus {name}: {corpus}")
        print(f"| tool | wall s (best of {RUNS}) | peak RSS MiB | groups | redundant MiB |")
        print("|---|---|---|---|---|")
        rows = {}
        for tool, command, parse in TOOLS:
            with tempfile.TemporaryDirectory() as workdir:
                best = None
                for _ in range(RUNS):
                    seconds, kib, out = timed(command(corpus, workdir), workdir)
                    if best is None or seconds < best[0]:
                        best = (seconds, kib, out)
                groups = parse(best[2], corpus, workdir)
                rows[tool] = best[0]
                print(f"| {tool} | {best[0]:.2f} | {best[1] / 1024:.1f} | {len(groups)} | "
                      f"{redundant_bytes(groups) / 1048576:.1f} |", flush=True)
        others = [seconds for tool, seconds in rows.items() if tool != "zarnik"]
        print(f"zarnik / fastest other: {rows['zarnik'] / min(others):.2f}")


if __name__ == "__main__":
    main()
