#!/usr/bin/env python3
"""The conversion as a plain Python script with `json` would do it.

    json_convert.py INPUT OUTPUT

Reads every line, removes the "##" and "Ġ" markers from the tokens, keeps the
first layer of every token and writes the word-vector text file. Values are
written with repr(), the script writer's natural choice (tiny values keep
their exponent form), so the output differs from the converter's in those.
"""
import json
import sys


def main(source, target):
    rows = []
    with open(source, encoding="utf-8") as lines:
        for line in lines:
            record = json.loads(line)
            linex = record["linex_index"]
            for position, feature in enumerate(record["features"]):
                token = feature["token"].replace("##", "").replace("\u0120", "")
                rows.append((token, linex, position, feature["layers"][0]["values"]))
    dimension = len(rows[0][3]) if rows else 0
    with open(target, "w", encoding="utf-8") as out:
        out.write("%d %d\n" % (len(rows), dimension))
        for token, linex, position, values in rows:
            out.write("%s:%d:%d %s\n" % (token, linex, position, " ".join(map(repr, values))))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
