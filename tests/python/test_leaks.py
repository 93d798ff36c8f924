"""Ten thousand calls of every kind must leave the process where it was: no
growth of its memory, of the interpreter's objects, or of the reference
counts of the objects handed to the module."""
import json
import os
import subprocess
import sys

from conftest import record

UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")

CHILD = """
import gc, json, os, sys
import ondravane_converter as m

good, bad, missing, output, rounds = sys.argv[1:4] + [sys.argv[4], int(sys.argv[5])]
big_min = 10 ** 30 // 10 ** 25   # an int object of our own, not a cached small int
seed = 2 ** 64 - 1
panic_type = None

def one_round():
    global panic_type
    m.processor(good, output)                               # success
    m.processor(good, output, big_min, 1, seed)             # success, filtered
    m.processor(bad, output, min=big_min)                   # parse rejection
    try:
        m.processor(missing, output)                        # failure
    except BaseException as error:
        panic_type = type(error)
    for args, kwargs in [((good,), {}), ((good, output), {"Min": 1}), ((good, None), {}),
                         ((good, output, 1.5), {}), ((good, output), {"seed": -1}),
                         ((good, output, 1, 2, 3, 4), {}), ((good, output), {"input": good})]:
        try:
            m.processor(*args, **kwargs)                    # argument errors
        except (TypeError, OverflowError):
            pass
    m.version()

def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

def snapshot():
    gc.collect()
    watched = [good, output, big_min, seed, m.processor, m.version, panic_type]
    return {
        "rss": rss(),
        "objects": len(gc.get_objects()),
        "blocks": sys.getallocatedblocks(),
        "refcounts": [sys.getrefcount(x) for x in watched],
    }

for _ in range(rounds // 10):        # warm up: caches, buffers, the exception type
    one_round()
before = snapshot()
for _ in range(rounds):
    one_round()
after = snapshot()
print(json.dumps({"before": before, "after": after}))
"""


def test_many_calls_leave_memory_and_references_flat(tmp_path):
    good = tmp_path / "good.jsonl"
    good.write_text("\n".join(json.dumps(record(i, ("w", [[0.5 * i, 1.0]]), ("x", [[2.0, 3.0]]))) for i in range(20)))
    bad = tmp_path / "bad.jsonl"
    bad.write_text(json.dumps(record(0, ("w", [[1.0]]))) + "\n{broken\n")
    output = tmp_path / "out.txt"
    # Each round makes twelve calls (eleven of processor): 12,000 in all.
    result = subprocess.run(
        [sys.executable, "-c", CHILD, str(good), str(bad), str(tmp_path / "absent"), str(output), "1000"],
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,  # the failure reports of a thousand failed calls
        timeout=600,
    )
    assert result.returncode == 0
    report = json.loads(result.stdout.decode().splitlines()[-1])
    before, after = report["before"], report["after"]
    assert after["refcounts"] == before["refcounts"]
    assert after["objects"] - before["objects"] <= 10
    # A few dozen blocks come and go whatever the number of calls; one block
    # lost per hundred calls would already be 120.
    assert after["blocks"] - before["blocks"] <= 100
    if not UNDER_ASAN:  # ASan holds freed memory in quarantine
        assert after["rss"] - before["rss"] <= 1 << 20
