"""Word-vector files loaded by gensim: a realistic generated corpus (float32
activations, sub-word tokens, several layers) converted and read back with
KeyedVectors.load_word2vec_format, every vector bit for bit."""
import json
import random
import struct
from fractions import Fraction

import pytest

import ondravane_converter

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


def nearest_double(value):
    """The double nearest to the rational `value`, ties to even, found with
    integer arithmetic only: the float operations of a 32-bit x86 interpreter
    may round twice (x87), so they cannot stand for binary64 ones."""
    value = Fraction(value)
    negative, value = value < 0, abs(value)
    if value == 0:
        return -0.0 if negative else 0.0
    exponent = value.numerator.bit_length() - value.denominator.bit_length()
    if value < Fraction(2) ** exponent:
        exponent -= 1
    exponent = max(exponent, -1022)  # subnormals share the smallest exponent
    units = value / Fraction(2) ** (exponent - 52)  # in units of the last place
    significand, remainder = divmod(units.numerator, units.denominator)
    if 2 * remainder > units.denominator or (2 * remainder == units.denominator and significand % 2):
        significand += 1
    if significand == 1 << 53:
        significand, exponent = 1 << 52, exponent + 1
    assert exponent <= 1023, "no such values in these corpora"
    biased = exponent + 1023 if significand >= 1 << 52 else 0
    pattern = negative << 63 | biased << 52 | (significand & ((1 << 52) - 1))
    return struct.unpack("<d", struct.pack("<Q", pattern))[0]


POWERS = [Fraction(nearest_double(10**k)) for k in range(309)]


def documented_double(text):
    """The double the reader makes of a JSON number: significand digits into
    an unsigned 64-bit value (later digits dropped), then one conversion to
    double and one multiplication or division by the nearest double of a power
    of ten (after steps of 10^308). This is the nearest double when the
    gathered digits are below 2^53 and the effective exponent lies within
    +-22; otherwise it can be one unit in the last place off, and two when
    both fail (as for small float32 values widened to double: 17 digits and
    an exponent below -22)."""
    negative = text.startswith("-")
    mantissa, _, exponent = text.lstrip("-").lower().partition("e")
    whole, _, fraction = mantissa.partition(".")
    significand, scale, full = 0, 0, False
    for position, digit in enumerate(whole + fraction):
        in_fraction = position >= len(whole)
        if not full and significand * 10 + int(digit) < 2**64:
            significand = significand * 10 + int(digit)
            scale -= in_fraction
        else:
            full = True
            scale += not in_fraction
    scale += int(exponent or "0")
    value = nearest_double(significand)
    while abs(scale) > 308 and value != 0:
        assert scale < 0, "no such values in these corpora"
        value = nearest_double(Fraction(value) / POWERS[308])
        scale += 308
    if value != 0:
        value = nearest_double(Fraction(value) * POWERS[scale] if scale >= 0 else Fraction(value) / POWERS[-scale])
    return -value if negative else value


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
