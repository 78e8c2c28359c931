"""VORN_NUM_THREADS: a count is used as written, anything else warns once and keeps the default."""

import os
import subprocess
import sys

import pytest

# Prints the warnings of two reads and a call, then the thread count.
SCRIPT = """
import warnings, numpy as np, vorn
with warnings.catch_warnings(record=True) as seen:
    warnings.simplefilter("always")
    vorn.get_num_threads()
    vorn.mean_dispersion(np.zeros((3, 2)))
    threads = vorn.get_num_threads()
for w in seen:
    print(w.category.__name__, w.message)
print(threads)
"""


def run_with(setting):
    env = {k: v for k, v in os.environ.items() if k != "VORN_NUM_THREADS"}
    if setting is not None:
        env["VORN_NUM_THREADS"] = setting
    out = subprocess.run(
        [sys.executable, "-c", SCRIPT], env=env, capture_output=True, text=True, timeout=60
    )
    assert out.returncode == 0, out.stderr
    *warnings, threads = out.stdout.splitlines()
    return warnings, int(threads)


@pytest.fixture(scope="module")
def default_threads():
    warnings, threads = run_with(None)
    assert warnings == []
    return threads


@pytest.mark.parametrize("setting", ["abc", "4x", "2.5", "0", "-2", "", "100000"])
def test_a_refused_setting_warns_once_and_keeps_the_default(setting, default_threads):
    warnings, threads = run_with(setting)
    assert len(warnings) == 1
    assert warnings[0].startswith("RuntimeWarning VORN_NUM_THREADS")
    assert repr(setting) in warnings[0]
    assert threads == default_threads


@pytest.mark.parametrize(("setting", "expected"), [("3", 3), ("-1", None)])
def test_a_count_or_minus_one_is_used_silently(setting, expected, default_threads):
    assert run_with(setting) == ([], expected or default_threads)
