#!/usr/bin/python3
"""Whether this machine can run 32-bit x86 code, which 32-bit Wine needs.

  ia32_code.py    prints the verdict; status 0 when 32-bit code runs, 3 when
                  the machine refuses it (the line then starts with
                  "refused:"), 2 when that cannot be told

Some kernels (and hypervisors) run 64-bit user code only. Wine then starts a
32-bit Windows program and the process is killed as it enters 32-bit code,
whatever libraries are in place. Tests of 32-bit programs use this to tell
that machine apart from a missing or broken Wine set-up, which is a failure.
Only a positive verdict counts as "refused": the probe's own report that the
kernel faulted on the switch into the 32-bit code segment. A probe that
cannot be built or run, that dies of a signal, times out, or reports anything
else gives "cannot tell", and the 32-bit tests then run (and fail loudly if
they fail). The status of a refusal is not 1, which an uncaught error of this
script would also give.
The probe, ia32_code_probe.cpp, is compiled with the machine's g++ each time.
"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PROBE_SOURCE = os.path.join(HERE, "ia32_code_probe.cpp")

RUNS, UNKNOWN, REFUSED = 0, 2, 3
# The probe's own statuses.
PROBE_RUNS, PROBE_REFUSED = 0, 1


def probe_verdict(folder):
    probe = os.path.join(folder, "probe")
    built = subprocess.run(["g++", "-O1", "-o", probe, PROBE_SOURCE],
                           capture_output=True, text=True, timeout=120)
    if built.returncode != 0:
        return UNKNOWN, f"the 32-bit code probe could not be built: {built.stderr.strip()}"
    ran = subprocess.run([probe], capture_output=True, text=True, timeout=60)
    said = ran.stdout.strip()
    if ran.returncode == PROBE_RUNS and said == "runs 32-bit code":
        return RUNS, "this machine runs 32-bit x86 code"
    if ran.returncode == PROBE_REFUSED and said.startswith("refused: "):
        return REFUSED, ("refused: this machine runs no 32-bit x86 code (its kernel faults on the "
                         "switch to the 32-bit code segment, IA-32 emulation off; the probe saw "
                         f"{said[len('refused: '):]}), so Wine runs no 32-bit Windows program here")
    return UNKNOWN, (f"the 32-bit code probe could not tell (status {ran.returncode}, said "
                     f"{said!r}, {ran.stderr.strip()!r})")


def verdict():
    """(RUNS, REFUSED or UNKNOWN, a sentence that says why). Every error of
    the probe's building or running is UNKNOWN, never REFUSED."""
    try:
        with tempfile.TemporaryDirectory(prefix="avendrel-ia32-probe-") as folder:
            return probe_verdict(folder)
    except Exception as error:  # noqa: BLE001 - any failure means "cannot tell"
        return UNKNOWN, f"the 32-bit code probe could not run ({type(error).__name__}: {error})"


def refused():
    """The reason when this machine certainly refuses 32-bit code, else None."""
    result, reason = verdict()
    return reason if result == REFUSED else None


if __name__ == "__main__":
    result, reason = verdict()
    print(reason)
    sys.exit(result)
