"""Running out of memory inside processor: under a lowered address-space limit
the call must end with MemoryError, release everything it held, and leave the
interpreter able to go on.

The child interpreter calibrates itself: it measures how much address space a
smaller conversion needs, sets the limit a little above that, and then
alternates a conversion ten times larger (which cannot fit) with the smaller
one (which fits only if the failed call gave back all it had taken)."""
import json
import os
import subprocess
import sys

import pytest

pytestmark = pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""),
    reason="an address-space limit cannot hold under ASan's shadow memory",
)

CHILD = """
import json, resource, sys
import ondravane_converter as m

def vm(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024

def call(source, output, **options):
    try:
        m.processor(source, output, **options)
        return None
    except BaseException as error:
        return type(error).__name__

small, large, output, options = sys.argv[1:3] + [sys.argv[3], json.loads(sys.argv[4])]
# Everything the interpreter needs later is allocated first.
results = []
call(small, output, **options)
before = vm("VmSize")
peak_before = vm("VmPeak")
assert call(small, output, **options) is None
need = max(vm("VmPeak") - before, 0)
limit = before + need + need // 2 + (32 << 20)
resource.setrlimit(resource.RLIMIT_AS, (limit, resource.RLIM_INFINITY))
for _ in range(3):
    results.append(call(large, output, **options))
    results.append(call(small, output, **options))
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
print(json.dumps({"results": results, "need": need, "limit": limit, "peak_before": peak_before, "before": before}))
"""


def many_records(count):
    line = '[7,[["tok",[[0,[0.5,0.25,0.125,0.0625,1,2,3,4]]]],["b",[[0,[1]]]]]]\n'
    return line * count


def one_long_line(count):
    return '[0,[["t",[[0,[' + ",".join(["0.5"] * count) + "]]]]]]\n"


def many_features(count):
    return "[0,[" + ",".join(['["t",[[0,[1.5,2.5]]]]'] * count) + "]]\n"


@pytest.mark.parametrize(
    "make, small_count, options",
    [
        # A regular file is indexed rather than held: 300 000 records, so that
        # the larger file's index outgrows the 32 MiB of slack in the limit.
        (many_records, 300_000, {}),
        (many_records, 300_000, {"min": 0}),  # the filter's token numbers as well
        (one_long_line, 2_000_000, {}),
        (many_features, 200_000, {}),
    ],
    ids=["many-records", "many-records-filtered", "one-long-line", "many-features"],
)
def test_memory_error_releases_everything(module, tmp_path, make, small_count, options):
    small = tmp_path / "small.jsonl"
    large = tmp_path / "large.jsonl"
    small.write_text(make(small_count))
    large.write_text(make(small_count * 10))
    output = tmp_path / "out.txt"
    completed = subprocess.run(
        [sys.executable, "-c", CHILD, str(small), str(large), str(output), json.dumps(options)],
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        timeout=300,
    )
    # The interpreter survived every failed call and exited normally.
    assert completed.returncode == 0, completed.stderr.decode(errors="replace")[-3000:]
    report = json.loads(completed.stdout.decode().splitlines()[-1])
    assert report["results"] == ["MemoryError", None] * 3, report
    # A MemoryError is not a failure of the module: no failure report.
    assert b"panicked" not in completed.stderr
    # The last good call wrote the whole small output.
    expected = tmp_path / "expected.txt"
    module.processor(str(small), str(expected), **options)
    assert output.read_bytes() == expected.read_bytes()


# The child's own high-water mark (VmHWM belongs to its address space; the
# resource usage's maximum would carry the parent's over from the fork).
PEAK_CHILD = """
import sys
import ondravane_converter as m
m.processor(sys.argv[1], sys.argv[2])
with open("/proc/self/status") as status:
    print(next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmHWM:")))
"""


def peak_rss_of_conversion(source, output):
    completed = subprocess.run([sys.executable, "-c", PEAK_CHILD, str(source), str(output)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300, check=True)
    return int(completed.stdout.decode().splitlines()[-1])


def test_memory_of_a_regular_file_does_not_follow_its_values(tmp_path):
    # The same 500 occurrences with first layers of 400 and of 4000 values:
    # held in memory the values alone would take 14.4 MB more; a regular file
    # is indexed instead, so only the line being checked grows.
    def values_file(name, dimension):
        line = '[0,[["t",[[0,[' + ",".join(["0.123456"] * dimension) + "]]]]]]\n"
        path = tmp_path / name
        path.write_text(line * 500)
        return path

    small = peak_rss_of_conversion(values_file("small.jsonl", 400), tmp_path / "small.txt")
    large = peak_rss_of_conversion(values_file("large.jsonl", 4000), tmp_path / "large.txt")
    extra_values = 500 * (4000 - 400) * 8
    assert large - small < extra_values / 4, (small, large)


# Runs a command with standard input from a file and reports its own peak
# resident set: a grandchild of the test, whose big buffers it never shares.
STREAM_CHILD = """
import os, sys
pid = os.fork()
if pid == 0:
    os.dup2(os.open(sys.argv[1], os.O_RDONLY), 0)
    os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
    os.execv(sys.argv[2], sys.argv[2:])
_, status, usage = os.wait4(pid, 0)
assert os.waitstatus_to_exitcode(status) == 0
print(usage.ru_maxrss * 1024)
"""


def peak_rss_of_stream(front_end, source, output, tmp_path):
    """The peak resident set of a conversion of `source` read once: by
    processor through a FIFO, or by the command from gzip data on standard
    input."""
    if front_end == "processor":
        fifo = tmp_path / "in.fifo"
        os.mkfifo(fifo)
        feeder = subprocess.Popen(["sh", "-c", 'cat "$0" > "$1"', str(source), str(fifo)])
        try:
            return peak_rss_of_conversion(fifo, output)
        finally:
            feeder.wait()
            fifo.unlink()
    import gzip
    import shutil
    import sysconfig
    packed = tmp_path / "in.jsonl.gz"
    packed.write_bytes(gzip.compress(source.read_bytes(), compresslevel=1))
    program = os.path.join(sysconfig.get_path("scripts"), "ondravane-converter")
    program = program if os.path.exists(program) else shutil.which("ondravane-converter")
    completed = subprocess.run([sys.executable, "-c", STREAM_CHILD, str(packed), program, "-", str(output), "--jobs", "1"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300, check=True)
    return int(completed.stdout.decode().splitlines()[-1])


@pytest.mark.parametrize("front_end", ["processor", "command"], ids=["processor-fifo", "command-gzip-stdin"])
def test_memory_of_a_stream_stays_flat_as_it_grows_tenfold(tmp_path, front_end):
    # 1 000 and 10 000 sentences of one occurrence with 800 values: held in
    # memory, the larger would take 58 MB more; read once, it is copied for
    # the second reading instead, and only its index grows (12 B a sentence).
    line = '[0,[["t",[[0,[' + ",".join(["0.123456"] * 800) + "]],[1,[2]]]]]]\n"
    peaks = []
    for count in (1_000, 10_000):
        source = tmp_path / f"in-{count}.jsonl"
        source.write_text(line * count)
        peaks.append(peak_rss_of_stream(front_end, source, tmp_path / "out.txt", tmp_path))
    small, large = peaks
    assert large - small < 8 << 20, (small, large)
