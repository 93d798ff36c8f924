#!/usr/bin/env python3
"""Writes a seeded, realistic activation file for the benchmarks.

The values look like what a Python program writes when it dumps float32
activations through `json`: each is a float32 widened to a double, so its
shortest text usually has 17 to 19 characters, about half are negative and
small magnitudes come out in exponent form. Tokens follow a Zipf-like law
over a vocabulary with "##" continuation pieces and "Ġ" word starts, about
25 tokens a sentence. With --places N each value is rounded to N decimal
places first, as dumps written with round(x, N) hold them. The same
arguments always give the same bytes.

    generate.py OUTPUT --megabytes 200 --layers 4 [--dim 768] [--seed 1] [--places N]
"""
import argparse
import json
import os
import sys

import numpy as np

_STEMS = [
    "the", "of", "and", "to", "in", "is", "was", "for", "that", "with", "as", "on",
    "by", "he", "it", "from", "at", "his", "an", "were", "are", "which", "this",
    "be", "or", "has", "had", "not", "first", "one", "their", "its", "new", "after",
    "who", "they", "have", "her", "she", "two", "been", "other", "when", "there",
    "all", "during", "into", "school", "time", "may", "years", "more", "most",
    "only", "over", "city", "some", "world", "would", "where", "later", "up",
    "such", "used", "many", "can", "state", "about", "national", "out", "known",
    "university", "united", "then", "made", "season", "team", "music", "film",
    "game", "river", "station", "history", "church", "album", "language", "war",
]
_PIECES = ["ing", "ed", "s", "er", "ly", "tion", "al", "ic", "ness", "ment", "ive", "ous",
           "ist", "ize", "able", "ism", "ity", "est", "ful", "less"]
_SPECIAL = ["[CLS]", "[SEP]", ".", ",", "'", "\"", "(", ")", "-", "é", "über", "naïve"]


def vocabulary(rng, size):
    """Distinct tokens, most frequent first (the order Zipf ranks use)."""
    words = list(_SPECIAL[:4]) + _STEMS[:]
    seen = set(words)
    while len(words) < size:
        kind = rng.integers(0, 4)
        stem = _STEMS[rng.integers(0, len(_STEMS))]
        piece = _PIECES[rng.integers(0, len(_PIECES))]
        if kind == 0:
            word = "##" + piece + str(rng.integers(0, 500))
        elif kind == 1:
            word = "\u0120" + stem + piece + str(rng.integers(0, 100))
        elif kind == 2:
            word = stem + piece + str(rng.integers(0, 100)) + "##"[: rng.integers(0, 3)]
        else:
            word = "\u0120" + _SPECIAL[rng.integers(4, len(_SPECIAL))] + stem
        if word not in seen:
            seen.add(word)
            words.append(word)
    return words


def value_texts(rng, count, places=None):
    """`count` value texts as json writes float32 activations widened to
    doubles, or those rounded to `places` decimal places."""
    values = rng.standard_normal(count, dtype=np.float32) * np.float32(0.6)
    # Some components are tiny: their text takes the exponent form.
    tiny = rng.random(count) < 0.03
    values[tiny] *= np.float32(1e-5)
    widened = values.astype(np.float64).tolist()
    if places is not None:
        widened = [round(value, places) for value in widened]
    return list(map(float.__repr__, widened))


def generate(path, megabytes, layers, dim, seed, places=None):
    rng = np.random.default_rng(seed)
    vocab = vocabulary(rng, 20000)
    token_texts = [json.dumps(t, ensure_ascii=False) for t in vocab]
    ranks = np.arange(1, len(vocab) + 1, dtype=np.float64)
    weights = 1.0 / ranks ** 1.07
    cumulative = np.cumsum(weights / weights.sum())
    target = megabytes * 1_000_000
    written = 0
    sentence = 0
    tmp = path + ".part"
    with open(tmp, "w", encoding="utf-8", newline="\n") as out:
        while written < target:
            lines = []
            # A batch of sentences at a time keeps numpy's calls large.
            batch_tokens = rng.poisson(24, size=16) + 1
            total_vectors = int(batch_tokens.sum()) * layers
            texts = value_texts(rng, total_vectors * dim, places)
            token_ids = np.searchsorted(cumulative, rng.random(int(batch_tokens.sum())))
            token_ids = np.minimum(token_ids, len(vocab) - 1)
            v = 0
            t = 0
            for count in batch_tokens.tolist():
                features = []
                for _ in range(count):
                    layer_texts = []
                    for layer in range(layers):
                        layer_texts.append('{"index": %d, "values": [%s]}'
                                           % (layer, ", ".join(texts[v:v + dim])))
                        v += dim
                    features.append('{"token": %s, "layers": [%s]}'
                                    % (token_texts[token_ids[t]], ", ".join(layer_texts)))
                    t += 1
                line = '{"linex_index": %d, "features": [%s]}\n' % (sentence, ", ".join(features))
                sentence += 1
                lines.append(line)
                written += len(line.encode("utf-8"))
                if written >= target:
                    break
            out.write("".join(lines))
    os.replace(tmp, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--megabytes", type=float, default=200)
    parser.add_argument("--layers", type=int, default=4)
    parser.add_argument("--dim", type=int, default=768)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--places", type=int, default=None)
    args = parser.parse_args()
    generate(args.output, args.megabytes, args.layers, args.dim, args.seed, args.places)


if __name__ == "__main__":
    sys.exit(main())
