#!/usr/bin/env python3
"""Finds how much input a converter holds before its address space runs out:
feeds a FIFO with BLOCK (an activation file, e.g. from generate.py) again and
again until the converter reading it exits, then reports how many bytes and
occurrences it had taken. Meant for 32-bit builds, whose whole address space
is about 4 GiB; a 64-bit build would read until memory itself runs out.

    address_space_wall.py BLOCK -- COMMAND... (COMMAND reads {fifo} as its input)

Example, inside the 32-bit userland (scripts/i386-run):
    address_space_wall.py l4.jsonl -- build/i386/tests/src/cli/ondravane-converter {fifo} /dev/null
"""
import os
import subprocess
import sys
import tempfile


def main():
    if len(sys.argv) < 4 or sys.argv[2] != "--":
        sys.exit(__doc__)
    block = open(sys.argv[1], "rb").read()
    occurrences = block.count(b'"token"')
    with tempfile.TemporaryDirectory() as folder:
        fifo = os.path.join(folder, "input")
        os.mkfifo(fifo)
        command = [part.replace("{fifo}", fifo) for part in sys.argv[3:]]
        converter = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        fed = 0
        try:
            with open(fifo, "wb") as out:
                while True:
                    out.write(block)
                    fed += 1
        except BrokenPipeError:
            pass
        error = converter.communicate()[1].decode(errors="replace").strip()
    print(f"the converter exited with {converter.returncode} ({error.splitlines()[-1] if error else 'no message'})")
    print(f"after at most {fed * len(block)} bytes, {fed * occurrences} occurrences "
          f"(blocks of {len(block)} bytes, {occurrences} occurrences)")


if __name__ == "__main__":
    main()
