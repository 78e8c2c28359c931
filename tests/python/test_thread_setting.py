"""VORN_NUM_THREADS: a count is used as written, anything else warns once and keeps the default."""

import json
import os
import subprocess
import sys

import pytest

# The warnings of two reads and a call, and the thread count.
SCRIPT = """
import json, warnings, numpy as np, vorn
with warnings.catch_warnings(record=True) as seen:
    warnings.simplefilter("always")
    vorn.get_num_threads()
    vorn.mean_dispersion(np.zeros((3, 2)))
    threads = vorn.get_num_threads()
print(json.dumps([[f"{w.category.__name__}: {w.message}" for w in seen], threads]))
"""


def run_with(setting):
    env = {k: v for k, v in os.environ.items() if k != "VORN_NUM_THREADS"}
    env.update({} if setting is None else {"VORN_NUM_THREADS": setting})
    done = subprocess.run([sys.executable, "-c", SCRIPT], env=env, capture_output=True, timeout=60)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.mark.parametrize("setting", ["2.5", "-2", "", "100000", "3", "-1"])
def test_setting_is_used_or_warned_about_once(setting):
    _, default = run_with(None)
    warnings, threads = run_with(setting)
    if setting in ("3", "-1"):
        assert (warnings, threads) == ([], 3 if setting == "3" else default)
        return
    assert threads == default
    assert len(warnings) == 1
    assert warnings[0].startswith("RuntimeWarning: VORN_NUM_THREADS must be a thread count")
    assert f"ignoring {setting!r}" in warnings[0]
