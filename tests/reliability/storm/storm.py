#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The run storm: per seed, a small random tree, two to four kolvik-cli runs at once in both
directions, and other programs at work in the tree meanwhile; as root with bindfs, some runs and
the writer reach the tree through a second mount of it. Afterwards every original file's
bytes (with what a writer appended) must be in a plain file or in a .kol file that decrypts, and
the canary folder a link leads to from inside the tree must be unchanged.

Usage: storm.py CLI PW SEED COUNT [--root DIR] [--serial] [--keep] [--strong] [--sabotage KIND]
  CLI, PW     a private copy of kolvik-cli with its own home in the environment, and the
              password file, as sandbox.sh makes them: the runs' log and settings stay ours
  --root DIR  where the trees are made (default: /dev/shm, else $TMPDIR)
  --serial    one run at a time and no other programs: nothing may be lost then
  --keep      leave the trees of seeds that lost something, and say where
  --strong    every encryption in the strong format: its originals are overwritten, not only
              unlinked
  --sabotage delete|corrupt|canary
              after the runs, delete a file, flip a byte in one, or change the canary: the
              check must then fail (it proves the check can see each kind of loss)
Prints "seed N: ok" or what was lost, per seed. Exit 0 when every seed passed, 1 otherwise.
"""
import argparse
import contextlib
import hashlib
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from collections import Counter
from pathlib import Path

WORDS = ["rapport", "café", "notities", "foto", "begroting", "überblick", "ñandú", "brief aan oma",
         "plan B", "été", "Ærø kaart", "data", "jaar 2024", "smörgås"]
EXTS = ["txt", "pdf", "jpg", "csv", "tar.gz", "dat", "md", ""]  # "" gives README_.kol
RUN_LIMIT = 60  # seconds; a run still going then is killed and its status recorded as such
# Kolvik's scratch files: content there is not the user's file, wherever it lies.
SCRATCH_MARKS = (".kolvik-", "tijdel")


def sha(data):
    return hashlib.sha256(data).hexdigest()


def file_sha(path):
    return sha(Path(path).read_bytes())


def is_scratch(name):
    return any(mark in name for mark in SCRATCH_MARKS)


def walk_files(top):
    """Every regular file below top, links not followed."""
    paths = (os.path.join(folder, name) for folder, _, names in os.walk(top) for name in names)
    return (p for p in paths if os.path.isfile(p) and not os.path.islink(p))


def survey(top):
    """Below top: the sha256 of the plain files, one count each; the .kol files; scratch files."""
    found, kols, scratch = Counter(), [], []
    for path in walk_files(top):
        name = os.path.basename(path)
        if is_scratch(name):
            scratch.append(path)
        elif name.endswith(".kol"):
            kols.append(path)
        else:
            found[file_sha(path)] += 1
    return found, kols, scratch


# A .kol is decrypted as a copy alone in a folder of its own, so what it opens to is known.
def copy_alone(path, folder):
    os.makedirs(folder)
    shutil.copyfile(path, os.path.join(folder, os.path.basename(path)))


def opened_sha(folder):
    """The sha256 of what the .kol alone in folder decrypted to, or None if it did not open."""
    plain = [n for n in os.listdir(folder) if not n.endswith(".kol")]
    return file_sha(os.path.join(folder, plain[0])) if len(plain) == 1 else None


def thread(function, *args):
    return threading.Thread(target=function, args=args)


# kolvik-cli as the sandbox gives it, run with the password file, and the strong format if asked.
class Program:
    def __init__(self, path, pw, strong):
        self.path, self.pw, self.strong = path, pw, strong

    def run(self, mode, target):
        return self.start(mode, target, os.devnull).wait()

    def start(self, mode, target, log):
        argv = [self.path, mode, target, "--password-file", self.pw]
        argv += ["--strong"] if self.strong and mode == "encrypt" else []
        with open(log, "wb") as err:  # a file, not a pipe: a run that says much never blocks
            return subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=err)


class Seed:
    def __init__(self, number, program, root, serial):
        self.rng = random.Random(number)
        self.program = program
        self.serial = serial
        self.base = tempfile.mkdtemp(prefix="storm-%d-" % number, dir=root)
        self.tree = os.path.join(self.base, "boom")
        self.canary = os.path.join(self.base, "kanarie")
        self.scratch = tempfile.mkdtemp(prefix="storm-check-")
        self.expected = Counter()  # sha256 of each file's plain bytes, one count per file
        self.origin = {}  # sha256 -> the relative paths it started at, for the report
        self.notes = []
        self.statuses = []  # (mode, path, exit status) per run
        self.via = None  # the tree through a second mount, where one can be made

    # --- the tree -------------------------------------------------------------------------
    def name(self, taken):
        while True:
            word = self.rng.choice(WORDS)
            ext = self.rng.choice(EXTS)
            name = "%s %d" % (word, self.rng.randrange(1000)) if self.rng.random() < 0.6 else word
            name += "." + ext if ext else ""
            if name.lower() not in taken:
                taken.add(name.lower())
                return name

    def size(self):
        return 0 if self.rng.random() < 0.08 else int(200 * 1024 * self.rng.random() ** 3)

    def build(self):
        rng = self.rng
        folders = [""]
        for _ in range(rng.randint(2, 5)):
            parent = rng.choice(folders)
            folders.append(os.path.join(parent, "map %s %d" % (rng.choice(WORDS), len(folders))))
        for folder in folders:
            os.makedirs(os.path.join(self.tree, folder), exist_ok=True)
        taken = {folder: set() for folder in folders}
        # About a quarter start as .kol made with the same password: encrypted in a tree of the
        # same folders beside, by one run, then copied in.
        staging = os.path.join(self.scratch, "vooraf")
        self.plain_files = []
        for _ in range(rng.randint(20, 200)):
            folder = rng.choice(folders)
            rel = os.path.join(folder, self.name(taken[folder]))
            data = rng.randbytes(self.size())
            self.expected[sha(data)] += 1
            self.origin.setdefault(sha(data), []).append(rel)
            staged = rng.random() < 0.25
            if not staged:
                self.plain_files.append(rel)
            path = Path(staging if staged else self.tree, rel)
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        if os.path.isdir(staging):
            status = self.program.run("encrypt", staging)
            plain = [p for p in walk_files(staging) if not p.endswith(".kol")]
            if status != 0 or plain:
                raise RuntimeError("the starting .kol files: exit %d, not encrypted %s" % (status, plain))
            shutil.copytree(staging, self.tree, dirs_exist_ok=True)
            shutil.rmtree(staging)
        self.folders = folders[1:]
        # The canary, outside the tree: plain and .kol files that no run may touch.
        os.makedirs(self.canary)
        for i in range(4):
            Path(self.canary, "kanarie %d.txt" % i).write_bytes(rng.randbytes(rng.randrange(1, 5000)))
        shutil.copy(os.path.join(self.canary, "kanarie 0.txt"), os.path.join(self.canary, "x.txt"))
        self.program.run("encrypt", os.path.join(self.canary, "x.txt"))
        self.canary_sums = self.sums(self.canary)

    def sums(self, top):
        return {os.path.relpath(p, top): file_sha(p) for p in walk_files(top)}

    # --- the storm ------------------------------------------------------------------------
    def plan_runs(self):
        rng = self.rng
        runs = []
        for _ in range(1 if self.serial else rng.randint(2, 4)):
            mode = rng.choice(["encrypt", "decrypt"])
            pick = rng.random()
            if pick < 0.5 or not self.folders:
                target = ""
            elif pick < 0.8:
                target = rng.choice(self.folders)
            else:
                target = None  # a single file, picked when the run starts
            runs.append((mode, target, rng.uniform(0, 0.03)))
        return runs

    def target_path(self, mode, target):
        if target is not None:
            return self.reached(os.path.join(self.tree, target))
        files = [p for p in walk_files(self.tree) if p.endswith(".kol") == (mode == "decrypt")
                 and not is_scratch(os.path.basename(p))]
        return self.reached(self.rng.choice(files) if files else self.tree)

    def reached(self, path):
        """Now and then the same path through the second mount, as another user would reach it."""
        if self.via and self.rng.random() < 0.3:
            return os.path.join(self.via, os.path.relpath(path, self.tree))
        return path

    def mount_second(self):
        if os.geteuid() != 0 or not shutil.which("bindfs"):
            return
        via = os.path.join(self.base, "via")
        os.makedirs(via)
        if subprocess.run(["bindfs", self.tree, via], stderr=subprocess.DEVNULL).returncode == 0:
            self.via = via

    def storm(self):
        rng = self.rng
        runs = self.plan_runs()
        if self.serial:
            for mode, target, _ in runs:
                path = self.target_path(mode, target)
                self.statuses.append((mode, path, self.program.run(mode, path)))
            return
        # The folder swapped for a link must neither hold nor lie in a run's folder: a run started
        # on the link itself is asked to work in the canary. A single file may lie anywhere.
        targets = [t for _, t, _ in runs]
        free = [] if None in targets else [
            f for f in self.folders if not any(t and os.path.commonpath([f, t]) in (f, t)
                                               for t in targets)]
        self.mount_second()
        stop = threading.Event()
        actors = [thread(self.renamer, random.Random(rng.random()), stop)]
        writer = self.open_writer()
        if writer:
            actors.append(thread(self.write, *writer, random.Random(rng.random()), stop))
        if free:
            actors.append(thread(self.swap_for_link, rng.choice(free), rng.uniform(0, 0.05)))
        for actor in actors:
            actor.start()
        procs = []
        begun = time.monotonic()
        for mode, target, delay in sorted(runs, key=lambda r: r[2]):
            time.sleep(max(0, begun + delay - time.monotonic()))
            path = self.target_path(mode, target)
            log = os.path.join(self.scratch, "run %d.err" % len(procs))
            procs.append((mode, path, self.program.start(mode, path, log)))
        actors.append(thread(self.pause, rng.choice(procs)[2], rng.uniform(0, 0.2),
                             rng.uniform(0.05, 0.4)))
        actors[-1].start()
        for mode, path, proc in procs:
            try:
                proc.wait(max(1, RUN_LIMIT - (time.monotonic() - begun)))
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
            self.statuses.append((mode, path, proc.returncode))
        stop.set()
        for actor in actors:
            actor.join()
        self.unmount_second()

    def open_writer(self):
        """A plain file another program holds open from before the runs and appends to."""
        if not self.plain_files:
            return None
        rel = self.rng.choice(self.plain_files)
        path = self.reached(os.path.join(self.tree, rel))  # the second mount: a remote writer
        before = Path(path).read_bytes()
        self.expected[sha(before)] -= 1
        self.origin[sha(before)].remove(rel)
        return os.open(path, os.O_WRONLY | os.O_APPEND), rel, before

    def write(self, fd, rel, data, rng, stop):
        try:
            while not stop.wait(rng.uniform(0.01, 0.08)):
                chunk = rng.randbytes(rng.randrange(1, 400))
                os.write(fd, chunk)
                data += chunk
                if rng.random() < 0.05:
                    break  # let go early: the file may then be transformed whole
        finally:
            os.close(fd)
            self.expected[sha(data)] += 1
            self.origin.setdefault(sha(data), []).append(rel + " (with the appended bytes)")

    def renamer(self, rng, stop):
        """Another program renames files to fresh names in their folders."""
        n = 0
        while not stop.wait(rng.uniform(0.005, 0.05)):
            files = [p for p in walk_files(self.tree)
                     if not is_scratch(os.path.basename(p)) and len(os.path.basename(p)) < 150]
            if not files:
                continue
            path = rng.choice(files)
            n += 1
            new = os.path.join(os.path.dirname(path), "omgedoopt %d %s" % (n, os.path.basename(path)))
            with contextlib.suppress(OSError):  # gone meanwhile
                if not os.path.lexists(new):
                    os.rename(path, new)

    def swap_for_link(self, folder, delay):
        time.sleep(delay)
        path = os.path.join(self.tree, folder)
        try:
            os.rename(path, path + " verplaatst")
            os.symlink(self.canary, path)
        except OSError as e:
            self.notes.append("folder not swapped for a link: %s" % e.strerror)

    @staticmethod
    def pause(proc, delay, length):
        time.sleep(delay)
        proc.send_signal(signal.SIGSTOP)  # once the run has ended, send_signal sends nothing
        time.sleep(length)
        proc.send_signal(signal.SIGCONT)

    def sabotage(self, kind):
        if kind == "canary":
            victim = os.path.join(self.canary, self.rng.choice(sorted(self.canary_sums)))
        else:
            # Big enough that its middle is data, not the header or a .kol's ignored last byte.
            victim = self.rng.choice(sorted(p for p in walk_files(self.tree)
                                            if os.path.getsize(p) > 100))
        if kind == "delete":
            os.unlink(victim)
            return
        data = bytearray(Path(victim).read_bytes())
        data[len(data) // 2] ^= 0x40
        Path(victim).write_bytes(data)

    # --- the check ------------------------------------------------------------------------
    def check(self):
        found, kols, scratch = survey(self.tree)
        self.notes += ["scratch file left: " + os.path.relpath(p, self.tree) for p in scratch]
        opened = os.path.join(self.scratch, "open")
        folders = [os.path.join(opened, str(i)) for i in range(len(kols))]
        for path, folder in zip(kols, folders):
            copy_alone(path, folder)
        if kols:
            self.program.run("decrypt", opened)
        for path, folder in zip(kols, folders):
            digest = opened_sha(folder)
            if digest:
                found[digest] += 1
            else:
                self.notes.append(".kol that does not open: " + os.path.relpath(path, self.tree))
        lost = self.expected - found
        problems = sorted("lost: " + self.origin[h][i] for h, n in lost.items() for i in range(n))
        after = self.sums(self.canary)
        if after != self.canary_sums:
            names = sorted({rel for rel, _ in set(after.items()) ^ set(self.canary_sums.items())})
            problems.append("canary outside the tree changed: " + ", ".join(names))
        return problems

    def unmount_second(self):
        for _ in range(5):
            if not self.via or subprocess.run(["umount", self.via]).returncode == 0:
                break
            time.sleep(1)
        else:
            subprocess.run(["umount", "-l", self.via])
        self.via = None

    def cleanup(self):
        self.unmount_second()
        for top in (self.base, self.scratch):
            shutil.rmtree(top, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("cli")
    parser.add_argument("pw")
    parser.add_argument("seed", type=int)
    parser.add_argument("count", type=int)
    parser.add_argument("--root", default="/dev/shm" if os.path.isdir("/dev/shm") else None)
    for flag in ("--serial", "--keep", "--strong"):
        parser.add_argument(flag, action="store_true")
    parser.add_argument("--sabotage", choices=["delete", "corrupt", "canary"])
    args = parser.parse_args()
    # A desktop session's default (ulimit -n 1024), inherited by every run: the race between two
    # runs on one folder was first seen with it. Set here, not between fork and exec, where the
    # actors' threads make it unsafe.
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    limit = 1024 if hard == resource.RLIM_INFINITY else min(1024, hard)
    resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))
    program = Program(os.path.realpath(args.cli), args.pw, args.strong)
    failed = 0
    for number in range(args.seed, args.seed + args.count):
        seed = Seed(number, program, args.root, args.serial)
        problems = ["unfinished"]
        try:
            seed.build()
            seed.storm()
            if args.sabotage:
                seed.sabotage(args.sabotage)
            problems = seed.check()
        finally:
            if not (args.keep and problems):
                seed.cleanup()
        runs = ", ".join("%s %s: %s" % (mode, os.path.relpath(path, seed.tree), status)
                         for mode, path, status in seed.statuses)
        if problems:
            failed += 1
            print("seed %d: %d lost or changed (runs: %s)" % (number, len(problems), runs))
            if len(problems) > 12:
                problems[10:] = ["... %d more" % (len(problems) - 10)]
            if all(status == 0 for _, _, status in seed.statuses):
                problems.append("and every run exited 0")
            for line in problems + seed.notes:
                print("  " + line)
            if args.keep:
                print("  kept: %s (decrypted copies in %s)" % (seed.base, seed.scratch))
        else:
            notes = " (%s)" % "; ".join(seed.notes) if seed.notes else ""
            print("seed %d: ok%s" % (number, notes))
        sys.stdout.flush()
    print("run storm: %d seeds, %d with losses" % (args.count, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
