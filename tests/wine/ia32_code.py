#!/usr/bin/python3
"""Whether this machine can run 32-bit x86 code, which Wine's WoW64 mode needs.

  ia32_code.py    prints the verdict; status 0 when 32-bit code runs, 1 when
                  the machine refuses it, 2 when that cannot be told

Some kernels (and hypervisors) run 64-bit user code only. Wine then starts a
32-bit Windows program and the process is killed as it enters 32-bit code,
whatever libraries are in place. Tests of 32-bit programs use this to tell
that machine apart from a missing or broken Wine set-up, which is a failure.
The probe, ia32_code_probe.cpp, is compiled with the machine's g++ each time.
"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PROBE_SOURCE = os.path.join(HERE, "ia32_code_probe.cpp")

RUNS, REFUSED, UNKNOWN = 0, 1, 2


def verdict():
    """(RUNS, REFUSED or UNKNOWN, a sentence that says why)."""
    with tempfile.TemporaryDirectory(prefix="avendrel-ia32-probe-") as folder:
        probe = os.path.join(folder, "probe")
        try:
            built = subprocess.run(["g++", "-O1", "-o", probe, PROBE_SOURCE],
                                   capture_output=True, text=True, timeout=120)
        except (OSError, subprocess.TimeoutExpired) as error:
            return UNKNOWN, f"the 32-bit code probe could not be built ({error})"
        if built.returncode != 0:
            return UNKNOWN, f"the 32-bit code probe could not be built: {built.stderr.strip()}"
        ran = subprocess.run([probe], capture_output=True, text=True, timeout=60)
    said = ran.stdout.strip()
    if ran.returncode == RUNS:
        return RUNS, "this machine runs 32-bit x86 code"
    if ran.returncode == REFUSED:
        return REFUSED, ("this machine runs no 32-bit x86 code (its kernel faults on the switch "
                         "to the 32-bit code segment: IA-32 emulation is off), so Wine runs no "
                         "32-bit Windows program here")
    return UNKNOWN, f"the 32-bit code probe could not tell ({said or ran.returncode})"


def refused():
    """The reason when this machine certainly refuses 32-bit code, else None."""
    result, reason = verdict()
    return reason if result == REFUSED else None


if __name__ == "__main__":
    result, reason = verdict()
    print(reason)
    sys.exit(result)
