"""The command line's options that choose what is written, on dumps shaped
like those of extraction tools that number layers from the last (-1 to -4):
every vector against an independent computation over the conversion rule,
binary outputs loaded by gensim, every option with one and two jobs and
through a pipe, and the failures, usage errors and warnings they bring."""
import gzip
import json
import random
import subprocess
import struct

import pytest

from conftest import record, write_lines
from conversion_rule import column_means, column_sums, documented_double, float32_bits
from test_cli import ERROR, FINISH, READ, WRITE, program, run_cli, run_processor  # noqa: F401 (fixture)
from test_streams import formats  # noqa: F401 (a fixture)

numpy = pytest.importorskip("numpy", reason="numpy comes with gensim, which is missing")
models = pytest.importorskip("gensim.models", reason="gensim is not installed (pip install '.[test]')")

DIMENSION = 12
PIECES = ["[CLS]", "Ġthe", "the", "Ġcat", "##s", ".", "Ġnaïve", "東京", "Ġ12:30", "Ġ", "[SEP]"]


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def value_text(rng):
    """A value as dumps write them: rounded to six places, a float32 widened
    to a double, or a double with 17 significant digits."""
    x = rng.gauss(0.0, 1.0) * rng.choice([1.0, 1.0, 1e-3, 1e-7, 40.0])
    style = rng.randrange(3)
    if style == 0:
        return repr(round(x, 6))
    if style == 1:
        return repr(f32(x))
    return "%.17g" % x


def stock_dump(sentences, seed):
    """Lines of a stock dump in object form, and of each occurrence its token
    (marks removed) and the value texts of layers -1 to -4."""
    rng = random.Random(seed)
    lines, occurrences = [], []
    for sentence in range(sentences):
        features = []
        for position in range(rng.randint(0, 9)):
            token = rng.choice(PIECES)
            layers = {-k: [value_text(rng) for _ in range(DIMENSION)] for k in range(1, 5)}
            text = ", ".join(f'{{"index": {index}, "values": [{", ".join(values)}]}}' for index, values in layers.items())
            features.append(f'{{"token": {json.dumps(token, ensure_ascii=False)}, "layers": [{text}]}}')
            clean = token.replace("##", "").replace("Ġ", "")
            occurrences.append((f"{clean}:{sentence}:{position}", clean, layers))
        lines.append(f'{{"linex_index": {sentence}, "features": [{", ".join(features)}]}}')
    return lines, occurrences


def layers_as_read(layers, indices):
    return [[documented_double(text) for text in layers[index]] for index in indices]


# (the options, and of an occurrence's layers as read the vector expected)
COMBINATIONS = {
    "last": (["--layer", "-1"], lambda layers: layers_as_read(layers, [-1])[0]),
    "third from last": (["--layer", "-3"], lambda layers: layers_as_read(layers, [-3])[0]),
    "mean of the last four": (["--layers", "-1,-2,-3,-4"], lambda layers: column_means(layers_as_read(layers, [-1, -2, -3, -4]))),
    "sum": (["--layers", "-4,-1", "--combine", "sum"], lambda layers: column_sums(layers_as_read(layers, [-4, -1]))),
    "concat": (["--layers", "-2,-1", "--combine=concat"], lambda layers: sum(layers_as_read(layers, [-2, -1]), [])),
}


@pytest.fixture(scope="module")
def dump(tmp_path_factory):
    lines, occurrences = stock_dump(sentences=60, seed=20240612)
    source = write_lines(tmp_path_factory.mktemp("layers") / "stock.jsonl", lines)
    return source, occurrences


def convert(program, tmp_path, source, options, jobs, name="out"):
    output = tmp_path / f"{name}-{jobs}.w2v"
    result = run_cli(program, [source, str(output), "--jobs", str(jobs), *options])
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode() == READ + ("Start Filtering!\nStart Counting!\nStart Filtering based on then counted value!\n" if "--min" in options else "") + WRITE + FINISH
    return output


def load(path, binary):
    datatype = numpy.float32 if binary else numpy.float64
    return models.KeyedVectors.load_word2vec_format(str(path), binary=binary, datatype=datatype)


def expect_vectors(vectors, expected, binary):
    """`expected`: (identifier, doubles) in file order; every key and every
    value bit for bit (the float32 of the double in binary)."""
    assert vectors.index_to_key == [identifier for identifier, _ in expected]
    for identifier, doubles in expected:
        got = vectors[identifier]
        if binary:
            assert got.view(numpy.uint32).tolist() == [float32_bits(v) for v in doubles], identifier
        else:
            assert got.view(numpy.uint64).tolist() == numpy.asarray(doubles).view(numpy.uint64).tolist(), identifier


def per_type(expected):
    """One mean a token, of its vectors in file order, in the order tokens are first written."""
    groups = {}
    for identifier, doubles in expected:
        groups.setdefault(identifier.rsplit(":", 2)[0], []).append(doubles)
    return [(token, column_means(vectors)) for token, vectors in groups.items()]


@pytest.mark.parametrize("binary", [False, True], ids=["text", "binary"])
@pytest.mark.parametrize("types", [False, True], ids=["per occurrence", "per type"])
@pytest.mark.parametrize("name", list(COMBINATIONS))
def test_vectors_are_the_exact_combination(program, formats, dump, tmp_path, name, types, binary):
    source, occurrences = dump
    options, vector_of = COMBINATIONS[name]
    options = options + (["--per-type"] if types else []) + (["--format", "binary"] if binary else [])
    expected = [(identifier, vector_of(layers)) for identifier, _, layers in occurrences]
    if types:
        expected = per_type(expected)
    outputs = [convert(program, tmp_path, source, options, jobs) for jobs in (1, 2)]
    assert outputs[0].read_bytes() == outputs[1].read_bytes()
    # Read once, through a pipe and gzip-compressed on standard input: the same bytes.
    with open(source, "rb") as file:
        text = file.read()
    for feed in [text] + ([gzip.compress(text)] if "gzip" in formats else []):
        piped = tmp_path / "piped.w2v"
        result = subprocess.run([program, "-", str(piped), *options], input=feed, capture_output=True, timeout=120)
        assert result.returncode == 0, result.stderr
        assert piped.read_bytes() == outputs[0].read_bytes()
    header = outputs[0].read_bytes().split(b"\n", 1)[0]
    assert header == f"{len(expected)} {len(expected[0][1])}".encode()
    expect_vectors(load(outputs[0], binary), expected, binary)


def test_per_type_after_the_filter_averages_the_survivors(program, dump, tmp_path):
    source, _ = dump
    filtered = ["--min", "3", "--keep", "4", "--seed", "11", "--layers", "-1,-2"]
    for jobs in (1, 2):
        occurrences = load(convert(program, tmp_path, source, filtered, jobs, "occurrences"), binary=False)
        types = load(convert(program, tmp_path, source, filtered + ["--per-type"], jobs, "types"), binary=False)
        survivors = [(key, occurrences[key].tolist()) for key in occurrences.index_to_key]
        assert 0 < len(types) < len(survivors)
        expect_vectors(types, per_type(survivors), binary=False)


def test_first_layer_by_its_index_is_what_processor_writes(program, tmp_path):
    # Ordinary dumps list layer 0 first: choosing it changes nothing.
    lines = [record(s, *[(t, [[s + 0.25 * k, -k], [9.0, 9.0]]) for k, t in enumerate("abc")]) for s in range(5)]
    source = write_lines(tmp_path / "in.jsonl", lines)
    run_processor(tmp_path, source, str(tmp_path / "python.txt"), {})
    output = convert(program, tmp_path, source, ["--layer", "0"], 2)
    assert output.read_bytes() == (tmp_path / "python.txt").read_bytes()


# Occurrences the options cannot write: status 1, the message naming the
# line, the occurrence (its position as written) and what is wrong; with
# the filter dropping them, a complete output.
FAULTS = [
    ('{"linex_index": 4, "features": [{"token": "x", "layers": [{"index": -2, "values": [2]}, {"index": -1, "values": [1]}]}, '
     '{"token": "odd", "layers": [{"index": -1, "values": [1]}]}]}',
     ["--layers", "-1,-2"], "line 2: the occurrence 'odd' (sentence 4, position 1) has no layer with index -2"),
    ('[4, [["x", [[-1, [1]], [-2, [1]]]], ["odd", [[-1, [1, 2]], [-2, [1]]]]]]',
     ["--layers", "-1,-2", "--combine", "sum"],
     "line 2: the occurrence 'odd' (sentence 4, position 1) has layers of different lengths, which cannot be "
     "summed: index -1 has 2, index -2 has 1 values"),
    ('[4, [["x", [[-1, [1]]]], ["odd", [[-1, [1, 2]]]]]]', ["--layer", "-1", "--format", "binary"],
     "line 2: the occurrence 'odd' (sentence 4, position 1) has 2 values where the header says 1; "
     "the binary format holds vectors of one length"),
    ('[4, [["odd", [[-1, [1]]]], ["odd", [[-1, [1, 2]]]]]]', ["--layer", "-1", "--per-type"],
     "line 2: the occurrence 'odd' (sentence 4, position 1) has 2 values where its token's first occurrence "
     "has 1; one vector a token is the mean of vectors of one length"),
]


@pytest.mark.parametrize("line, options, message", FAULTS, ids=["missing layer", "lengths", "binary", "type"])
def test_unwritable_occurrence_fails_naming_it(program, tmp_path, line, options, message):
    lines = ['[0, [["x", [[-1, [5]], [-2, [6]]]]]]', line, '[5, [["x", [[-1, [7]], [-2, [8]]]]]]']
    source = write_lines(tmp_path / "in.jsonl", lines)
    output = tmp_path / "out.txt"
    output.write_bytes(b"previous")
    for jobs in ("1", "2"):
        result = run_cli(program, [source, str(output), "-j", jobs, *options])
        assert (result.returncode, result.stderr.decode()) == (1, ERROR + message + "\n")
        assert output.read_bytes() == b"previous"
    # Dropped by the filter (its token, or its occurrence, is too rare), it fails nothing.
    filtered = run_cli(program, [source, str(output), "--min", "3", *options])
    assert filtered.returncode == 0, filtered.stderr


def test_stock_dump_without_a_chosen_layer_still_empties_the_output(program, dump, tmp_path):
    source, _ = dump
    result = run_cli(program, [source, str(tmp_path / "out.txt"), "--per-type", "--format", "binary"])
    assert result.returncode == 3
    assert "layer index 'index' is negative" in result.stderr.decode()


def test_binary_identifiers_with_a_blank_are_warned_of(program, tmp_path):
    source = write_lines(tmp_path / "in.jsonl", [record(0, ("New York", [[1.0]]), ("a\tb", [[2.0]]), ("c", [[3.0]]))])
    for options, warning in [
        ([], ""),
        (["--format", "binary"], "ondravane-converter: warning: 1 identifier holds a blank, which loaders of the binary "
                                 "format take for its end (the first: 'New York:0:0')\n"),
        (["--format", "binary", "--per-type"], "ondravane-converter: warning: 1 identifier holds a blank, which loaders "
                                               "of the binary format take for its end (the first: 'New York')\n"),
    ]:
        result = run_cli(program, [source, str(tmp_path / "out.w2v"), *options])
        assert (result.returncode, result.stderr.decode()) == (0, warning)


def test_check_takes_the_same_options(program, dump, tmp_path):
    source, _ = dump
    assert run_cli(program, ["check", source]).returncode == 1
    for options in (["--layer", "-1"], ["--layers", "-1,-2,-3,-4", "--per-type", "--format", "binary"]):
        result = run_cli(program, ["check", source, *options])
        assert result.returncode == 0, result.stdout
        assert b"result: 0 problems; the conversion writes every record" in result.stdout
    result = run_cli(program, ["check", source, "--layers", "-1,-5", "--json"])
    report = json.loads(result.stdout)
    assert result.returncode == 1 and report["problem_count"] > 0
    assert {problem["kind"] for problem in report["problems"]} == {"missing-layer"}
    assert report["problems"][0]["reason"] == "no layer with index -5 (writing fails here)"
