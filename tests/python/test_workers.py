"""The command's worker threads: the memory they hold is bounded by bytes in
flight, whatever the lines' lengths and counts, and they are never required
(a system that refuses every thread gets the same results from the calling
thread)."""
import gzip
import os
import resource
import subprocess
import sys
import tempfile

import pytest

from test_cli import program, run_cli  # noqa: F401 (program is a fixture)

NOBODY = 65534
MIB = 1 << 20

under_asan = pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                                reason="ASan's shadow memory hides the command's own peak")


# Measures a command from a small interpreter of its own: a process's peak
# resident set counts its parent's pages from before its exec, so the
# command must be a grandchild of the test, which holds the big inputs.
MEASURE = """
import os, sys
pid = os.fork()
if pid == 0:
    null = os.open(os.devnull, os.O_RDWR)
    os.dup2(null, 0)
    os.dup2(null, 1)
    os.execv(sys.argv[1], sys.argv[1:])
_, status, usage = os.wait4(pid, 0)
print(usage.ru_maxrss * 1024, os.waitstatus_to_exitcode(status))
"""


def peak_rss(program, arguments):
    """Runs the command; returns its peak resident set (bytes), its exit
    status and what it wrote on standard error."""
    completed = subprocess.run([sys.executable, "-c", MEASURE, program, *arguments],
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    peak, status = completed.stdout.split()
    return int(peak), int(status), completed.stderr


def empty_lines(path):
    path.write_bytes(b"\n" * (20 * MIB))


def long_lines(path):
    # Three sentences of about 20 MB each.
    values = ",".join(["0.5"] * (5 * MIB))
    path.write_text("".join(f'[{i},[["t",[[0,[{values}]]]]]]\n' for i in range(3)))


def long_values(path):
    # Values whose text is 40 times longer written than read: the formatted
    # output of a chunk is far larger than its input.
    line = '[0,[["t",[[0,[' + ",".join(["1e-300"] * 20_000) + "]]]]]]\n"
    path.write_text(line * 200)


@under_asan
@pytest.mark.parametrize("make, command", [
    (empty_lines, "check"),
    (long_lines, "check"),
    (long_lines, "convert"),
    (long_values, "convert"),
], ids=["check-empty-lines", "check-long-lines", "convert-long-lines", "convert-long-values"])
def test_workers_hold_a_few_mib_beyond_one_thread(program, tmp_path, make, command):
    source = tmp_path / "in.jsonl"
    make(source)

    def arguments(jobs):
        if command == "check":
            return ["check", str(source), "--jobs", str(jobs)]
        return [str(source), str(tmp_path / f"out{jobs}.txt"), "--jobs", str(jobs)]

    one, one_status, _ = peak_rss(program, arguments(1))
    two, two_status, stderr = peak_rss(program, arguments(2))
    assert two_status == one_status, stderr
    if command == "convert":
        assert (tmp_path / "out1.txt").read_bytes() == (tmp_path / "out2.txt").read_bytes()
    assert two <= one + 2 * 8 * MIB, (one // MIB, two // MIB)


def shared_directory():
    """A folder that an unprivileged user may read and write."""
    folder = tempfile.mkdtemp(prefix="workers-")
    os.chmod(folder, 0o777)
    return folder


@pytest.mark.parametrize("command", ["convert", "check", "convert gzip"])
def test_no_thread_is_required(program, command):
    # RLIMIT_NPROC binds only a user without the privilege to exceed it: as
    # root the command runs as nobody, and either way the user already has
    # its one process, so every thread the command asks for is refused.
    folder = shared_directory()
    try:
        source = os.path.join(folder, "in.jsonl")
        with open(source, "w") as out:
            for i in range(400):
                out.write(f'[{i},[["t{i % 7}",[[0,[{i}.5,-{i}]],[1,[3]]]],["b",[[0,[1]]]]]]\n')
        if command == "convert gzip":
            # Decompressed as it is read when its thread is refused too.
            with open(source, "rb") as text, gzip.open(source + ".gz", "wb") as packed:
                packed.write(text.read())
            source += ".gz"
        os.chmod(source, 0o666)

        def refuse_threads():
            if os.geteuid() == 0:
                os.setgroups([])
                os.setgid(NOBODY)
                os.setuid(NOBODY)
            resource.setrlimit(resource.RLIMIT_NPROC, (1, 1))

        # Under a preloaded sanitizer, the leak check at exit needs a thread
        # of its own, which the limit refuses too.
        environment = dict(os.environ)
        if "ASAN_OPTIONS" in environment:
            environment["ASAN_OPTIONS"] += ":detect_leaks=0"

        def run(jobs, *, limited):
            output = os.path.join(folder, f"out-{jobs}-{limited}.txt")
            arguments = ["check", source] if command == "check" else [source, output, "--min", "2", "--keep", "50"]
            result = run_cli(program, [*arguments, "--jobs", str(jobs)],
                             preexec_fn=refuse_threads if limited else None,
                             env=environment if limited else None)
            written = open(output, "rb").read() if command != "check" else b""
            return result.returncode, result.stdout, result.stderr, written

        expected = run(1, limited=False)
        assert expected[0] == 0, expected[2]
        assert run(2, limited=True) == expected
    finally:
        subprocess.run(["rm", "-rf", folder], check=True)
