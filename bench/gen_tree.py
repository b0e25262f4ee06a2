#!/usr/bin/python3
"""Seeded, deterministic synthetic directory tree for the dupsieve benchmark.

Usage:
  gen_tree.py --out DIR --files N --dirs D --max-size BYTES --seed S
              [--manifest FILE] [--plan-only]

The same arguments always give the same tree: the same directories, names,
sizes and bytes.  The tree is written in one streaming pass; only the
directory paths and a set of the sizes in use are kept in memory, never file
contents, so a million small files fit easily.

Shape of the tree (numbers are approximate, they are drawn at random):
  * D directories forming a random recursive tree under DIR (each new
    directory hangs below a random earlier one), so the tree is several
    levels deep rather than flat; files are spread uniformly over them.
  * Sizes are drawn as lo * (BYTES/lo) ** (u ** 2) with u uniform in [0, 1)
    and lo = min(64, BYTES): many small files, few large ones, which keeps
    disk use modest.  No empty files.
  * About half of the files have a size that no other file has.  The other
    half come in same-size groups of 2 to 4 files.  Within a group the first
    file is an original; every other member is
      - an exact, byte-identical copy of the original (about a tenth of all
        files overall),
      - or, for sizes above 512, a file equal to the original in its first
        512 bytes that differs in one byte further on,
      - or otherwise a file that differs from the original within its first
        512 bytes (some of these share a short leading header with it).
    When there are not enough distinct sizes for the unique-size half (small
    --max-size with many files), the surplus files simply share sizes.

The manifest (key=value lines) records the parameters and what was actually
generated, counted as the files were written.
"""

import argparse
import math
import os
import random
import sys
import time

GEN_VERSION = 1
PREFIX = 512          # bytes the sampled digest looks at
MIN_SIZE_CAP = 64     # smallest size drawn, unless --max-size is smaller
UNIQUE_FRACTION = 0.5
COPY_FRACTION = 0.1
TAIL_ONLY_SHARE = 0.12    # of non-copy group members above PREFIX bytes
HEADER_SHARE = 0.25       # of the remaining non-copy members
GROUP_SIZES = (2, 2, 2, 3, 3, 4)
SIZE_SKEW = 2.0          # >1 favours small files (median near 512 at defaults)


class Plan:
    """Draws the tree; identical draws for the same parameters."""

    def __init__(self, files, dirs, max_size, seed):
        self.files = files
        self.dirs = max(1, min(dirs, files))
        self.max_size = max_size
        self.seed = seed
        self.lo = min(MIN_SIZE_CAP, max_size)
        self.log_span = math.log((max_size + 1) / self.lo)

    def content_seed(self, k):
        return (self.seed << 40) ^ (k * 0x9E3779B1 + 0x7F4A7C15)

    def dir_parents(self):
        rng = random.Random(self.seed * 7919 + 1)
        return [-1] + [rng.randrange(i) for i in range(1, self.dirs)]

    def draw_size(self, rng):
        s = int(self.lo * math.exp(rng.random() ** SIZE_SKEW * self.log_span))
        return max(self.lo, min(s, self.max_size))

    def entries(self):
        """Yield (dir_index, file_index, size, recipe) for every file.

        recipe is a tuple saying how to build the bytes (see content()).
        """
        rng = random.Random(self.seed)
        n = self.files
        unique_target = int(n * UNIQUE_FRACTION)
        shared_target = n - unique_target
        mean_group = sum(GROUP_SIZES) / len(GROUP_SIZES)
        non_first = shared_target * (1.0 - 1.0 / mean_group)
        p_copy = min(1.0, n * COPY_FRACTION / non_first) if non_first else 0.0
        used_next = {}  # size -> next candidate size (union-find style)
        idx = 0
        seed_counter = 0

        def mark_used(s):
            used_next[s] = s + 1

        def free_size_from(s):
            # smallest unused size >= s, with path compression; None if none
            path = []
            while s in used_next:
                path.append(s)
                s = used_next[s]
            for p in path:
                used_next[p] = s
            return s if s <= self.max_size else None

        # Same-size groups first.
        made = 0
        while made < shared_target:
            k = min(rng.choice(GROUP_SIZES), shared_target - made)
            if k < 2 and made > 0:
                k = 1  # a lone leftover; it joins a group via a shared size
            size = self.draw_size(rng)
            if k == 1:
                # reuse the size of an earlier group so it is not unique
                size = rng.choice(list(used_next)[:1000]) if used_next else size
            mark_used(size)
            seed_counter += 1
            orig = self.content_seed(seed_counter)
            yield rng.randrange(self.dirs), idx, size, ("orig", orig)
            idx += 1
            for _ in range(k - 1):
                r = rng.random()
                if r < p_copy:
                    recipe = ("copy", orig)
                else:
                    seed_counter += 1
                    other = self.content_seed(seed_counter)
                    r2 = rng.random()
                    if size > PREFIX and r2 < TAIL_ONLY_SHARE:
                        recipe = ("tail", orig, rng.randrange(PREFIX, size),
                                rng.randrange(1, 256))
                    elif size > 1 and r2 < TAIL_ONLY_SHARE + HEADER_SHARE:
                        recipe = ("header", orig, other,
                                rng.randrange(1, min(size, PREFIX)))
                    else:
                        recipe = ("new", other)
                yield rng.randrange(self.dirs), idx, size, recipe
                idx += 1
            made += k

        # Files whose size nobody else has, while distinct sizes last.
        for _ in range(unique_target):
            want = self.draw_size(rng)
            size = free_size_from(want)
            if size is None:
                size = free_size_from(self.lo)
            if size is None:
                size = want  # sizes exhausted: this one shares a size
            mark_used(size)
            seed_counter += 1
            yield rng.randrange(self.dirs), idx, size, \
                ("orig", self.content_seed(seed_counter))
            idx += 1


def content(size, recipe):
    kind = recipe[0]
    if kind in ("orig", "copy", "new"):
        return random.Random(recipe[1]).randbytes(size)
    if kind == "tail":
        b = bytearray(random.Random(recipe[1]).randbytes(size))
        b[recipe[2]] ^= recipe[3]
        return b
    if kind == "header":
        base = random.Random(recipe[1]).randbytes(size)
        h = recipe[3]
        rest = bytearray(random.Random(recipe[2]).randbytes(size - h))
        if rest[0] == base[h]:
            rest[0] ^= 0x5A  # make sure it differs right after the header
        return base[:h] + rest
    raise ValueError(kind)


def dir_paths(plan):
    parents = plan.dir_parents()
    paths = [""]
    depths = [0]
    for i in range(1, plan.dirs):
        p = parents[i]
        paths.append(os.path.join(paths[p], "d%05d" % i))
        depths.append(depths[p] + 1)
    return paths, depths


def write_all(fd, data):
    view = memoryview(data)
    while view:
        n = os.write(fd, view)
        view = view[n:]


def run(args):
    plan = Plan(args.files, args.dirs, args.max_size, args.seed)
    paths, depths = dir_paths(plan)
    kinds = {"orig": 0, "copy": 0, "tail": 0, "header": 0, "new": 0}
    size_count = {}
    total_bytes = 0
    disk_bytes = 0
    t0 = time.monotonic()
    if not args.plan_only:
        os.makedirs(args.out, exist_ok=True)
        for rel in paths[1:]:
            os.mkdir(os.path.join(args.out, rel))
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0)
    count = 0
    progress_every = max(1, args.files // 10)
    for d, i, size, recipe in plan.entries():
        kinds[recipe[0]] += 1
        size_count[size] = size_count.get(size, 0) + 1
        total_bytes += size
        disk_bytes += (size + 4095) // 4096 * 4096
        if not args.plan_only:
            path = os.path.join(args.out, paths[d], "f%07d.dat" % i)
            fd = os.open(path, flags, 0o644)
            try:
                write_all(fd, content(size, recipe))
            finally:
                os.close(fd)
        count += 1
        if args.progress and count % progress_every == 0:
            print("  generated %d/%d files (%.0f s)"
                  % (count, args.files, time.monotonic() - t0),
                  file=sys.stderr, flush=True)
    elapsed = time.monotonic() - t0
    shared = sum(c for c in size_count.values() if c > 1)
    info = [
        ("gen_version", GEN_VERSION),
        ("files", count),
        ("dirs", plan.dirs),
        ("max_depth", max(depths)),
        ("mean_depth", "%.1f" % (sum(depths) / len(depths))),
        ("max_size", args.max_size),
        ("min_size", plan.lo),
        ("seed", args.seed),
        ("total_bytes", total_bytes),
        ("approx_disk_bytes", disk_bytes),
        ("distinct_sizes", len(size_count)),
        ("files_sharing_size", shared),
        ("exact_copies", kinds["copy"]),
        ("same_first_512_differ_later", kinds["tail"]),
        ("shared_header_differ_before_512", kinds["header"]),
        ("gen_seconds", "%.1f" % elapsed),
    ]
    text = "".join("%s=%s\n" % kv for kv in info)
    if args.manifest:
        with open(args.manifest, "w") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out")
    ap.add_argument("--files", type=int, required=True)
    ap.add_argument("--dirs", type=int, required=True)
    ap.add_argument("--max-size", type=int, required=True)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--manifest")
    ap.add_argument("--plan-only", action="store_true",
                    help="count what would be written, write nothing")
    ap.add_argument("--progress", action="store_true")
    args = ap.parse_args()
    if args.files < 1 or args.dirs < 1 or args.max_size < 1:
        ap.error("--files, --dirs and --max-size must be positive")
    if not args.plan_only and not args.out:
        ap.error("--out is required unless --plan-only")
    if not args.plan_only and os.path.exists(args.out) and os.listdir(args.out):
        ap.error("output directory is not empty: %s" % args.out)
    run(args)


if __name__ == "__main__":
    main()
