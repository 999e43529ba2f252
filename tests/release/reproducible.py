#!/usr/bin/python3
"""Builds the program twice, from two copies of the source tree in folders of
different names and depths, one after the other, and checks that both builds
give the same bytes:

- tools/build-windows.sh: dist/windows-x86/Avendrel.exe and its SHA256SUMS,
  which `sha256sum -c` accepts; the executable's time stamp is the
  SOURCE_DATE_EPOCH given to the build;
- the native program of the `linux` preset (build/linux/app/Avendrel).

  reproducible.py [--keep]      (--keep leaves the two copies for a look)

Exit 0 pass, 1 fail.
"""

import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pefile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(SOURCE, "tests"))

from process_group import end_processes_with_this_test  # noqa: E402

# Both builds together within this, under the test's time-out (3600 s).
BUILDS_SECONDS = 3300
# Any fixed time will do; both builds get the same.
EPOCH = 1767225600  # 2026-01-01 00:00:00 UTC
PRODUCTS = ["dist/windows-x86/Avendrel.exe", "dist/windows-x86/SHA256SUMS",
            "build/linux/app/Avendrel"]


def source_files():
    """The tree's files as git sees them (tracked and new, not ignored)."""
    listing = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z", "--cached", "--others",
                              "--exclude-standard"], check=True, stdout=subprocess.PIPE,
                             timeout=60).stdout
    names = [name for name in listing.decode().split("\0") if name]
    return [name for name in names if os.path.isfile(os.path.join(SOURCE, name))]


def copy_tree(files, target):
    for name in files:
        destination = os.path.join(target, name)
        os.makedirs(os.path.dirname(destination), exist_ok=True)
        shutil.copy2(os.path.join(SOURCE, name), destination)


def build(tree, deadline):
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH))
    def run(*command):
        print("+", " ".join(command), flush=True)
        subprocess.run(command, cwd=tree, env=env, check=True, stdout=subprocess.DEVNULL,
                       timeout=max(deadline - time.monotonic(), 1))
    run("tools/build-windows.sh")
    run("cmake", "--preset", "linux", "-DAVENDREL_TESTS=OFF")
    run("cmake", "--build", "build/linux", "--target", "Avendrel", "-j2")


def main(argv):
    end_processes_with_this_test()
    keep = "--keep" in argv
    files = source_files()
    work = tempfile.mkdtemp(prefix="avendrel-reproducible-")
    trees = [os.path.join(work, "first"),
             os.path.join(work, "second", "in", "a", "deeper", "folder")]
    failures = []
    try:
        for tree in trees:
            copy_tree(files, tree)
        deadline = time.monotonic() + BUILDS_SECONDS
        for tree in trees:
            build(tree, deadline)
        for product in PRODUCTS:
            paths = [os.path.join(tree, product) for tree in trees]
            if not all(os.path.isfile(path) for path in paths):
                failures.append(f"{product} was not built")
            elif not filecmp.cmp(paths[0], paths[1], shallow=False):
                failures.append(f"{product} differs between the two builds")
        for tree in trees:
            folder = os.path.join(tree, "dist", "windows-x86")
            checked = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                     timeout=60)
            if checked.returncode != 0 or checked.stdout.strip() != "Avendrel.exe: OK":
                failures.append(f"sha256sum -c SHA256SUMS in {folder}: {checked.stdout.strip()}")
        exe = os.path.join(trees[0], PRODUCTS[0])
        if os.path.isfile(exe):
            stamp = pefile.PE(exe, fast_load=True).FILE_HEADER.TimeDateStamp
            if stamp != EPOCH:
                failures.append(f"the time stamp is {stamp}, not SOURCE_DATE_EPOCH {EPOCH}")
    except subprocess.TimeoutExpired as error:
        failures.append(f"{' '.join(error.cmd)} did not finish within the builds' {BUILDS_SECONDS} s")
    except subprocess.CalledProcessError as error:
        failures.append(f"{' '.join(error.cmd)} failed with status {error.returncode}")
    finally:
        if keep:
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("both builds are byte-identical:", ", ".join(PRODUCTS))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
