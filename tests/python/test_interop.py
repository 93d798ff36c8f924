"""Word-vector files loaded by gensim: a realistic generated corpus (float32
activations, sub-word tokens, several layers) converted and read back with
KeyedVectors.load_word2vec_format, every vector bit for bit."""
import json
import random
import struct

import pytest

import ondravane_converter
from conversion_rule import documented_double

numpy = pytest.importorskip("numpy", reason="numpy comes with gensim, which is missing")
models = pytest.importorskip("gensim.models", reason="gensim is not installed (pip install '.[test]')")

LAYERS = 4
DIMENSION = 24
# Word pieces as tokenizers write them: "Ġ" marks a piece that starts a word,
# "##" one that continues it; a bare "Ġ" or "##" becomes the empty token.
PIECES = ["Ġthe", "the", "Ġcat", "##s", "Ġsat", "##ting", "Ġon", "Ġmat", ".", ",", "Ġnaïve", "東京", "##都",
          "Ġ12:30", "'s", "Ġ", "##", "Ġ\U0001f600", "Ġ##x", "Ġdon", "'t", "Ġa", "##b##c"]
WEIGHTS = [40, 10, 8, 8, 5, 3, 6, 4, 20, 12, 1, 2, 1, 1, 3, 1, 1, 1, 1, 2, 2, 15, 1]


def f32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def activation_value(rng):
    """A float32 activation widened to a double, now and then an extreme one."""
    pick = rng.random()
    if pick < 0.02:
        return rng.choice([0.0, -0.0, f32(1e-45), -f32(3.4028234e38), f32(1.1754944e-38), f32(1e-10)])
    return f32(rng.gauss(0.0, 1.0) * rng.choice([1.0, 1.0, 1.0, 0.01, 30.0]))


def generate(sentences, seed):
    rng = random.Random(seed)
    records, number = [], 1000
    for _ in range(sentences):
        number += rng.randint(1, 5)  # sentence numbers with gaps, as after a split
        features = [
            {
                "token": rng.choices(PIECES, WEIGHTS)[0],
                "layers": [{"index": i, "values": [activation_value(rng) for _ in range(DIMENSION)]}
                           for i in range(LAYERS)],
            }
            for _ in range(rng.randint(0, 25))
        ]
        records.append({"linex_index": number, "features": features})
    return records


def clean(token):
    return token.replace("##", "").replace("Ġ", "")


def bits(values):
    return numpy.asarray(values, dtype=numpy.float64).view(numpy.uint64)


@pytest.fixture(scope="module")
def converted(tmp_path_factory):
    folder = tmp_path_factory.mktemp("interop")
    records = generate(sentences=300, seed=20240611)
    source = folder / "activations.jsonl"
    source.write_text("".join(json.dumps(record, ensure_ascii=False) + "\n" for record in records), "utf-8")
    outputs = {}
    for name, arguments in {"all": {}, "filtered": {"min": 3, "keep": 40, "seed": 5}}.items():
        outputs[name] = folder / f"{name}.txt"
        ondravane_converter.processor(str(source), str(outputs[name]), **arguments)
    return records, outputs


def occurrences(records):
    """(identifier, token, first-layer doubles as read, float32 originals) in file order."""
    for record in records:
        for position, feature in enumerate(record["features"]):
            first = feature["layers"][0]["values"]
            token = clean(feature["token"])
            doubles = [documented_double(json.dumps(value)) for value in first]
            yield f"{token}:{record['linex_index']}:{position}", token, doubles, first


def load(path, **kwargs):
    return models.KeyedVectors.load_word2vec_format(str(path), binary=False, **kwargs)


def test_every_occurrence_loads_bit_for_bit(converted):
    records, outputs = converted
    vectors = load(outputs["all"], datatype=numpy.float64)
    expected = list(occurrences(records))
    assert len(expected) > 3000
    assert vectors.vector_size == DIMENSION
    assert vectors.index_to_key == [identifier for identifier, *_ in expected]
    for identifier, _, doubles, _ in expected:
        assert (bits(vectors[identifier]) == bits(doubles)).all(), identifier


def test_float32_activations_come_back_unchanged(converted):
    """Loaded with gensim's default single precision, every vector is the
    float32 activation the corpus was made from."""
    records, outputs = converted
    vectors = load(outputs["all"])
    assert vectors.vectors.dtype == numpy.float32
    for identifier, _, _, original in occurrences(records):
        assert (vectors[identifier].view(numpy.uint32) == numpy.asarray(original, numpy.float32).view(numpy.uint32)).all()


def test_filtered_file_loads_as_a_subsequence_of_each_sentence(converted):
    records, outputs = converted
    vectors = load(outputs["filtered"], datatype=numpy.float64)
    by_sentence = {}
    for identifier, token, doubles, _ in occurrences(records):
        by_sentence.setdefault(int(identifier.rsplit(":", 2)[1]), []).append((token, tuple(bits(doubles))))
    total = sum(len(found) for found in by_sentence.values())
    assert 0 < len(vectors) < total
    kept = {}
    for identifier in vectors.index_to_key:
        token, sentence, position = identifier.rsplit(":", 2)
        kept.setdefault(int(sentence), []).append((int(position), token, tuple(bits(vectors[identifier]))))
    for sentence, survivors in kept.items():
        assert [position for position, *_ in survivors] == list(range(len(survivors)))
        # Each survivor is a later occurrence of the same sentence than the one before.
        remaining = iter(by_sentence[sentence])
        for _, token, vector in survivors:
            assert any(candidate == (token, vector) for candidate in remaining), (sentence, token)
