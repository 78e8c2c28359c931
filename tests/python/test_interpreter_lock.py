"""A call still running when the interpreter exits leaves the process with its normal status."""

import signal
import subprocess
import sys

import pytest

# The call runs for seconds: at exit it is still inside the computation.
START_CALL = """
import os, signal, threading, time
import numpy as np, vorn
a = np.random.default_rng(0).normal(size=(60_000, 3))
thread = threading.Thread(target=vorn.mean_dispersion, args=(a,), daemon={daemon})
thread.start()
"""
# Ctrl-C while the main thread waits for the thread in the call: the interpreter then exits by
# SIGINT (at once, or once the call ends for a thread that is not a daemon).
SIGINT_IN_JOIN = """
signal.signal(signal.SIGINT, signal.default_int_handler)  # even when started ignored
threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
thread.join()
"""


@pytest.mark.skipif(sys.platform == "win32", reason="needs POSIX signals")
@pytest.mark.parametrize(
    ("daemon", "ending", "statuses"),
    [
        (True, "time.sleep(0.5)", {0}),
        (True, SIGINT_IN_JOIN, {0, -signal.SIGINT}),
        (False, SIGINT_IN_JOIN, {0, -signal.SIGINT}),
    ],
    ids=["daemon-at-exit", "sigint-in-join-daemon", "sigint-in-join"],
)
def test_exit_during_a_call_keeps_the_status(daemon, ending, statuses):
    code = START_CALL.format(daemon=daemon) + ending
    for _ in range(3):
        done = subprocess.run(
            [sys.executable, "-c", code], capture_output=True, text=True, timeout=120
        )
        assert done.returncode in statuses, done.stderr
        assert "terminate" not in done.stderr
