#!/usr/bin/env python3
"""Generates benchmark trees. Nothing generated here is committed.

  gen_corpus.py tree DIR FILES FOLDERS          empty files spread over folders
  gen_corpus.py sparse DIR FILES FOLDERS        sparse files of random sizes up to 1 GiB (few
                                                sizes shared), spread over folders: no disk used
  gen_corpus.py small DIR                       (a) 200,000 files of 1-64 KiB in 5,000 folders, ~10 % duplicates
  gen_corpus.py large DIR                       (b) 300 files of 5-200 MiB, ~30 % duplicates
  gen_corpus.py mixed DIR                       (c) 50,000 files with hard links, symbolic links and empty files
"""
import os
import random
import sys


def folders(root, count):
    paths = []
    for i in range(count):
        path = os.path.join(root, f"d{i // 100:03}", f"f{i:05}")
        os.makedirs(path, exist_ok=True)
        paths.append(path)
    return paths


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def tree(root, files, folder_count):
    dirs = folders(root, folder_count)
    for i in range(files):
        fd = os.open(os.path.join(dirs[i % folder_count], f"file{i}.txt"), os.O_CREAT | os.O_WRONLY, 0o644)
        os.close(fd)


def sparse(root, files, folder_count, rng):
    dirs = folders(root, folder_count)
    for i in range(files):
        fd = os.open(os.path.join(dirs[i % folder_count], f"file{i}.dat"), os.O_CREAT | os.O_WRONLY, 0o644)
        os.ftruncate(fd, rng.randint(1, 1 << 30))
        os.close(fd)


def small(root, rng):
    dirs = folders(root, 5000)
    originals = []
    for i in range(200_000):
        path = os.path.join(dirs[i % 5000], f"s{i}.bin")
        if originals and rng.random() < 0.10:
            write(path, rng.choice(originals))
        else:
            data = rng.randbytes(rng.randint(1024, 64 * 1024))
            write(path, data)
            if len(originals) < 2000:
                originals.append(data)


def large(root, rng):
    dirs = folders(root, 30)
    originals = []
    for i in range(300):
        path = os.path.join(dirs[i % 30], f"l{i}.bin")
        if originals and rng.random() < 0.30:
            source = rng.choice(originals)
            with open(source, "rb") as inp, open(path, "wb") as out:
                while chunk := inp.read(1 << 24):
                    out.write(chunk)
        else:
            size = rng.randint(5, 200) << 20
            with open(path, "wb") as out:
                block = rng.randbytes(1 << 20)
                for j in range(size >> 20):
                    # every MiB differs so that sampled chunks tell files apart
                    out.write(j.to_bytes(8, "little") + i.to_bytes(8, "little") + block[16:])
            originals.append(path)


def mixed(root, rng):
    dirs = folders(root, 1000)
    originals = []
    for i in range(50_000):
        d = dirs[i % 1000]
        kind = rng.random()
        path = os.path.join(d, f"m{i}")
        if kind < 0.05:
            write(path, b"")
        elif kind < 0.10 and originals:
            os.link(rng.choice(originals), path)
        elif kind < 0.15 and originals:
            os.symlink(rng.choice(originals), path)
        elif kind < 0.25 and originals:
            with open(rng.choice(originals), "rb") as inp:
                write(path, inp.read())
        else:
            write(path, rng.randbytes(rng.randint(1, 256 * 1024)))
            if len(originals) < 3000:
                originals.append(path)


def main():
    mode, root = sys.argv[1], sys.argv[2]
    os.makedirs(root, exist_ok=True)
    rng = random.Random(1234)
    if mode == "tree":
        tree(root, int(sys.argv[3]), int(sys.argv[4]))
    elif mode == "sparse":
        sparse(root, int(sys.argv[3]), int(sys.argv[4]), rng)
    elif mode == "small":
        small(root, rng)
    elif mode == "large":
        large(root, rng)
    elif mode == "mixed":
        mixed(root, rng)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
