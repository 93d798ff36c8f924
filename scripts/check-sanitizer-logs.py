"""Fails when the sanitizer logs of a test run show a memory error, undefined
behaviour, or a leak allocated by the module. Leaks of the interpreter itself
(objects it keeps until exit by design) are not the module's and are ignored.
Usage: check-sanitizer-logs.py LOG_DIR"""
import pathlib
import re
import sys

ERROR = re.compile(r"ERROR: AddressSanitizer|runtime error:|AddressSanitizer: CHECK failed")
# A frame of the module: its file name, its namespace, or one of its sources.
MODULE_FRAME = re.compile(r"ondravane|\bsrc/(module|converter|support|progress|random)/")


def leak_blocks(text):
    """The 'Direct leak' blocks of a LeakSanitizer report, each as its lines."""
    block = None
    for line in text.splitlines():
        if line.startswith(("Direct leak of", "Indirect leak of")):
            if block:
                yield block
            block = [line] if line.startswith("Direct") else None
        elif block is not None:
            if not line.strip():
                yield block
                block = None
            else:
                block.append(line)
    if block:
        yield block


def main(log_dir):
    logs = sorted(pathlib.Path(log_dir).glob("asan.*"))
    problems = []
    for log in logs:
        text = log.read_text(errors="replace")
        if ERROR.search(text):
            problems.append(f"{log}:\n{text}")
            continue
        for block in leak_blocks(text):
            if any(MODULE_FRAME.search(frame) for frame in block[1:]):
                problems.append(f"{log}: leak from the module:\n" + "\n".join(block))
    for problem in problems:
        print(problem, file=sys.stderr)
    print(f"{len(logs)} sanitizer logs checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
