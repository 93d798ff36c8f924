import json
import os
import pty
import re
import subprocess
import sys
import textwrap
import threading
from pathlib import Path

import pytest

import ondravane_converter

ROOT = Path(__file__).resolve().parents[2]


def project_version():
    """The version as written once, in project() of CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\([^)]*\bVERSION\s+([0-9][0-9.]*)", text).group(1)


@pytest.fixture
def module():
    return ondravane_converter


def write_lines(path, lines, ending="\n"):
    """Writes activation lines (str or records) to `path` and returns it as str."""
    text = "".join((line if isinstance(line, str) else json.dumps(line)) + ending for line in lines)
    Path(path).write_bytes(text.encode("utf-8"))
    return str(path)


def record(index, *features):
    """An activation record in object form; features are (token, [values, ...])."""
    return {
        "linex_index": index,
        "features": [
            {"token": token, "layers": [{"index": i, "values": list(v)} for i, v in enumerate(layers)]}
            for token, layers in features
        ],
    }


class Index:
    """An object that is not an int but converts to one through __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def run_python(code, *, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, env=None, check=False, **kwargs):
    """Runs `code` in a fresh interpreter; returns the CompletedProcess (bytes)."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        stdin=stdin,
        stdout=stdout,
        stderr=subprocess.PIPE,
        env=env,
        check=check,
        timeout=120,
        **kwargs,
    )


def drawn_on_terminal(command, cwd):
    """Runs a command with fd 2 on a pseudo-terminal and fd 1 on a pipe;
    returns (exit status, stdout, what reached the terminal)."""
    controller, terminal = pty.openpty()
    received = bytearray()

    def drain():
        while True:
            try:
                chunk = os.read(controller, 65536)
            except OSError:
                return
            if not chunk:
                return
            received.extend(chunk)

    drainer = threading.Thread(target=drain)
    drainer.start()
    try:
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=terminal, cwd=cwd, timeout=120)
    finally:
        os.close(terminal)
        drainer.join(timeout=30)
        os.close(controller)
    return result.returncode, result.stdout, bytes(received)


@pytest.fixture
def activation_file(tmp_path):
    def make(lines, ending="\n", name="input.jsonl"):
        return write_lines(tmp_path / name, lines, ending)

    return make
