"""Turns JSON conformance cases into line-parser seeds: each case as the value
of an unknown member of an activation, and each case that is a string also as
the token of a feature. Cases holding a line break cannot stand in one line
and are skipped. Usage: embed_cases.py CASE_DIR OUT_DIR (the repository keeps
the cases in tests/data/jsontestsuite/test_parsing)."""
import pathlib
import sys


def main(case_dir, out_dir):
    cases = pathlib.Path(case_dir)
    out = pathlib.Path(out_dir)
    if not cases.is_dir():
        sys.exit(f"no conformance cases at {cases}")
    count = 0
    for case in sorted(cases.glob("*.json")):
        body = case.read_bytes()
        if b"\n" in body.strip(b"\n") or len(body) > 8000:
            continue
        body = body.strip(b"\n")
        (out / f"member_{case.stem}").write_bytes(b'{"linex_index":0,"features":[],"x":' + body + b"}")
        stripped = body.strip(b" \t\r")
        if stripped.startswith(b'"'):
            (out / f"token_{case.stem}").write_bytes(b'[0,[[' + stripped + b",[[0,[1]]]]]]")
        count += 1
    print(f"{count} conformance cases embedded as seeds")


if __name__ == "__main__":
    main(*sys.argv[1:])
