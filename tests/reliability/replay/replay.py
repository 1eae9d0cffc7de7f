#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Replays a dm-log-writes log onto a copy of the disk it was recorded from and checks crash
states on the way: the disk in log order at every flush and every write that bypassed the cache
(FUA), and states between two flushes where the writes since the first had reached the disk only
in part (the block layer may reorder what is not yet flushed). Each state is mounted from a copy
of its own (its journal replays), and every original file's bytes must be in a plain file or in
a .kol that decrypts, as in the run storm.

Usage: replay.py LOG BASE FINAL --fs FS --cli CLI --pw FILE --plain DIR --mnt DIR
                 [--seed N] [--between N] [--budget S] [--label TEXT] [--careless]
  LOG      the log disk, with the marks "start" and "end" around the run and one more at the
           start of each of its phases; BASE the data disk before the first logged write;
           FINAL the data disk after the run: the whole log replayed onto BASE must give FINAL
  --between N  how many states between two flushes to check, at random (default 60)
  --budget S   past S seconds no further state is begun (the summary says how many were)
  --careless   the run was a careless copier: exit 0 only when a state lost files
"""
import argparse
import filecmp
import mmap
import os
import random
import struct
import subprocess
import sys
import time
from collections import Counter, namedtuple

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "storm"))
from storm import copy_alone, file_sha, opened_sha, survey, walk_files  # noqa: E402

# The log as drivers/md/dm-log-writes.c writes it, little-endian: a super block in the first
# sector, then per entry one sector that starts with the entry (a mark's text follows it there)
# and, for a write, the sectors written. Sectors are the data disk's logical sectors.
FLUSH, FUA, DISCARD, MARK = 1, 2, 4, 8
MAGIC, VERSION = 0x6A736677736872, 1
SUPER = struct.Struct("<QQQI")  # magic, version, nr_entries, sectorsize
ENTRY = struct.Struct("<QQQQ")  # sector, nr_sectors, flags, data_len
# offset and length in bytes on the data disk; data: a view of the log, None for a discard
Entry = namedtuple("Entry", "offset length flags data mark")
# A crash state: the first `prefix` entries of the run in order, then the entries `extra`.
State = namedtuple("State", "prefix extra what")


def read_log(path):
    with open(path, "rb") as f:
        log = memoryview(mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ))
    magic, version, count, sectorsize = SUPER.unpack_from(log, 0)
    if magic != MAGIC or version != VERSION:
        raise ValueError("%s: not a dm-log-writes log" % path)
    entries, pos = [], sectorsize
    for _ in range(count):
        sector, nr, flags, data_len = ENTRY.unpack_from(log, pos)
        if data_len and not flags & MARK:
            raise ValueError("entry at byte %d: inline data only a mark has" % pos)
        text = log[pos + ENTRY.size:pos + ENTRY.size + data_len]
        mark = bytes(text).decode() if flags & MARK else None
        pos += sectorsize
        length = nr * sectorsize
        data = None if flags & DISCARD else log[pos:pos + length]
        entries.append(Entry(sector * sectorsize, length, flags, data, mark))
        if not flags & DISCARD:
            pos += length
        if pos > len(log):
            raise ValueError("%s: entry %d runs past the end" % (path, len(entries)))
    return entries


def is_write(entry):
    return entry.length > 0 and not entry.flags & MARK


def apply(image, entries):
    """Writes the entries onto the image file."""
    fd = os.open(image, os.O_RDWR)
    for entry in filter(is_write, entries):
        # What a discarded range reads back is not promised.
        os.pwrite(fd, bytes(entry.length) if entry.data is None else entry.data, entry.offset)
    os.close(fd)


def plan(run, rng, between):
    """The states to check, sorted by prefix: in log order after each flush or FUA write that
    follows a write, and `between` drawn from the epochs between two flushes.

    The log holds an epoch's FUA writes as they completed, then the other writes that completed
    before its closing flush was sent. Just before that flush completes, every one of the FUA
    writes is on the disk and any part of the others: that is a state between flushes. (Fewer
    FUA writes with some others is no state to check: the log does not say which of the others
    were sent only after a FUA write had completed, as a journal's in-place writes are.)"""
    states, epochs, others, barrier, written = set(), [], [], 0, False
    for i, entry in enumerate(run):
        if entry.flags & FLUSH:
            epochs.append((barrier, i, others))
            barrier, others = i, []
        if is_write(entry) and not entry.flags & FUA:
            others.append(i)
        written = written or is_write(entry)
        if entry.flags & (FLUSH | FUA) and written:
            states.add(State(i + 1, (), "flush" if entry.flags & FLUSH else "FUA"))
            written = False
    epochs.append((barrier, len(run), others))
    epochs = [e for e in epochs if len(e[2]) > 1]
    for _ in range(between if epochs else 0):
        barrier, end, others = rng.choice(epochs)
        fua = [k for k in range(barrier, end) if is_write(run[k]) and run[k].flags & FUA]
        kept = [k for k in others if rng.random() < 0.5]
        what = "%d of %d writes" % (len(kept), len(others))
        states.add(State(barrier, tuple(sorted(fua + kept)), what))
    return sorted(states)


class Checker:
    """The storm's check on a state: each original's bytes in a plain file or in a .kol that
    decrypts. Every .kol content the states hold is opened once, by one kolvik-cli run after
    all states were read (one key derivation, however slow the format's)."""

    def __init__(self, args):
        self.args, self.top = args, os.path.join(args.scratch, "open")
        self.expected, self.origin = Counter(), {}
        for path in walk_files(args.plain):
            digest = file_sha(path)
            self.expected[digest] += 1
            self.origin.setdefault(digest, []).append(os.path.relpath(path, args.plain))
        self.copies = {}  # sha256 of a .kol -> the folder its copy is alone in
        self.opened = {}  # sha256 of a .kol -> sha256 of its plain bytes, or None

    def read(self, image):
        """The sha256 of the plain files and of the .kol files in a state, or why it could not
        be read. Each .kol content not seen before is copied out."""
        options = "loop,nouuid" if self.args.fs == "xfs" else "loop"
        mount = subprocess.run(["mount", "-t", self.args.fs, "-o", options, image, self.args.mnt],
                               stderr=subprocess.PIPE, text=True)
        if mount.returncode != 0:
            return "the state does not mount: " + " ".join(mount.stderr.split())
        try:
            found, kol_paths, _ = survey(os.path.join(self.args.mnt, "boom"))
            kols = [file_sha(path) for path in kol_paths]
            for path, digest in zip(kol_paths, kols):
                if digest not in self.copies:
                    self.copies[digest] = os.path.join(self.top, str(len(self.copies)))
                    copy_alone(path, self.copies[digest])
        finally:
            subprocess.run(["umount", self.args.mnt], check=True)
        return found, kols

    def open_copies(self):
        if self.copies:
            subprocess.run([self.args.cli, "decrypt", self.top, "--password-file", self.args.pw],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.opened = {digest: opened_sha(folder) for digest, folder in self.copies.items()}

    def lost(self, reading):
        """What a state read lost: the originals, sorted, or why it could not be read."""
        if isinstance(reading, str):
            return [reading]
        found, kols = reading
        found = found + Counter(self.opened[k] for k in kols if self.opened[k])
        lost = self.expected - found
        return sorted("lost: " + self.origin[h][i] for h, n in lost.items() for i in range(n))


def options():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("log", "base", "final"):
        parser.add_argument(name)
    for name in ("--fs", "--cli", "--pw", "--plain", "--mnt"):
        parser.add_argument(name, required=True)
    for name, kind, default in (("--seed", int, 0), ("--between", int, 60),
                                ("--budget", float, float("inf")), ("--label", str, "replay")):
        parser.add_argument(name, type=kind, default=default)
    parser.add_argument("--careless", action="store_true")
    args = parser.parse_args()
    args.scratch = os.path.dirname(os.path.realpath(args.final))  # the images' folder
    return args


def read_states(args, entries, first, states, checker, deadline):
    """Each state built from a cursor image that the log is replayed onto, and read: (state,
    reading) for those begun before the deadline. Then the replayer's own check: the whole log
    replayed must give the disk the machine wrote, byte for byte."""
    cursor = os.path.join(args.scratch, "cursor.img")
    image = os.path.join(args.scratch, "state.img")
    subprocess.run(["cp", "--sparse=always", args.base, cursor], check=True)
    apply(cursor, entries[:first])
    run, applied, readings = entries[first:], 0, []
    for state in states:
        if time.monotonic() > deadline:
            print("time budget of %.0f s reached" % args.budget)
            break
        apply(cursor, run[applied:state.prefix])
        applied = max(applied, state.prefix)
        subprocess.run(["cp", "--sparse=always", cursor, image], check=True)
        apply(image, [run[k] for k in state.extra])
        readings.append((state, checker.read(image)))
    apply(cursor, run[applied:])
    faithful = filecmp.cmp(cursor, args.final, shallow=False)
    if not faithful:
        print("%s: the whole log replayed differs from the disk the machine wrote" % args.label)
    return readings, faithful


def main():
    args = options()
    began = time.monotonic()
    entries = read_log(args.log)
    marks = {e.mark: i for i, e in enumerate(entries) if e.mark}
    if "start" not in marks or "end" not in marks:
        print("%s: the log lacks the mark start or end (it has %s)" % (args.label, sorted(marks)))
        return 1
    first, last = marks["start"] + 1, marks["end"]
    run = entries[first:last]
    writes = [e for e in run if is_write(e)]
    print("log: %d entries in the run, %d writes (%.1f MiB), %d flushes, %d FUA, %d discards" % (
        len(run), len(writes), sum(e.length for e in writes) / 2**20,
        sum(1 for e in run if e.flags & FLUSH), sum(1 for e in run if e.flags & FUA),
        sum(1 for e in run if e.flags & DISCARD)))
    phase = "start"
    phases = [phase := e.mark or phase for e in run]  # each entry's: the last mark before it
    states = plan(run, random.Random(args.seed), args.between)
    checker = Checker(args)
    readings, faithful = read_states(args, entries, first, states, checker, began + args.budget)
    checker.open_copies()
    checked, bad, most = Counter(), Counter(), 0
    for state, reading in readings:
        problems = checker.lost(reading)
        where = phases[max(state.prefix - 1, 0)]
        checked[where] += 1
        if problems:
            bad[where] += 1
            most = max(most, len(problems))
            if sum(bad.values()) <= 10:  # enough to see where; the summary counts them all
                more = " ... %d more" % (len(problems) - 4) if len(problems) > 4 else ""
                print("state at entry %d (%s, %s): %s%s" % (
                    first + state.prefix, where, state.what, "; ".join(problems[:4]), more))
    print("%s: %d of %d states checked (%s; %d between flushes), %d with files lost (at most %d "
          "of %d), %.0f s" % (
              args.label, len(readings), len(states),
              ", ".join("%s %d" % kv for kv in sorted(checked.items())),
              sum(1 for s, _ in readings if s.what.endswith("writes")), sum(bad.values()), most,
              sum(checker.expected.values()), time.monotonic() - began))
    # Nothing checked proves nothing, and the careless copier must have lost files somewhere.
    return 0 if readings and faithful and bool(bad) == args.careless else 1


if __name__ == "__main__":
    sys.exit(main())
