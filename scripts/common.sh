# Shared set-up for the scripts in this folder: a virtual environment with vorn installed.
# Sourced, not run. Needs python3 (3.9 or later) with venv and a C++17 compiler.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PYTHON="${PYTHON:-python3}"
export PIP_ROOT_USER_ACTION=ignore

# make_venv DIR PIP-ARGS...: creates DIR if missing and installs the given packages into it.
make_venv() {
  local dir="$1"; shift
  if [ ! -x "$dir/bin/python" ]; then
    "$PYTHON" -m venv "$dir"
  fi
  "$dir/bin/python" -m pip install -q --disable-pip-version-check "$@"
}

# install_vorn DIR: builds and installs this checkout into the environment DIR.
install_vorn() {
  "$1/bin/python" -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$ROOT"
}
