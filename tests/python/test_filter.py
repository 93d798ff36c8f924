"""The frequency filter through processor: which occurrences survive, for
given min, keep and seed."""
import pytest

from conftest import record, run_python

# Distinct first-layer values tell the occurrences apart in the output.
WORKED_EXAMPLE = [
    record(0, ("the", [[1.0]]), ("cat", [[2.0]]), ("sat", [[3.0]])),
    record(1, ("the", [[4.0]]), ("dog", [[5.0]])),
    record(2, ("the", [[6.0]]), ("the", [[7.0]]), ("cat", [[8.0]])),
]


def convert(module, source, output, **arguments):
    module.processor(source, str(output), **arguments)
    return output.read_text()


@pytest.mark.parametrize(
    "seed, expected",
    [
        (0, "2 1\ncat:0:0 2\nthe:2:0 6\n"),
        (42, "1 1\ncat:2:0 8\n"),
    ],
)
def test_worked_example(module, activation_file, tmp_path, seed, expected):
    source = activation_file(WORKED_EXAMPLE)
    assert convert(module, source, tmp_path / "out.txt", min=2, keep=1, seed=seed) == expected


def corpus(sentences=60, width=7):
    # A Zipf-like spread of counts: t0 is everywhere, later tokens are rare.
    return [
        record(i, *[(f"t{(i * j) % (j + 3)}", [[float(i), float(j)]]) for j in range(width)])
        for i in range(sentences)
    ]


def test_no_removal_and_no_thinning_equals_no_filter(module, activation_file, tmp_path):
    source = activation_file(corpus())
    unfiltered = convert(module, source, tmp_path / "plain.txt")
    for minimum in (-5, 0, 1):
        for seed in (0, 99):
            assert convert(module, source, tmp_path / "f.txt", min=minimum, keep=-3, seed=seed) == unfiltered


def test_keep_zero_removes_every_token_that_reaches_the_draw(module, activation_file, tmp_path):
    # With keep 0 every token with a count above 0 is tested and none survives;
    # min then has nothing left to add.
    source = activation_file(corpus())
    assert convert(module, source, tmp_path / "out.txt", min=0, keep=0, seed=5) == "0 0\n"


def test_thinning_keeps_about_keep_occurrences(module, activation_file, tmp_path):
    source = activation_file([record(i, *[("w", [[float(i * 10 + j)]]) for j in range(10)]) for i in range(100)])
    lines = convert(module, source, tmp_path / "out.txt", min=1, keep=100, seed=3).splitlines()
    survivors = int(lines[0].split()[0])
    # 1000 occurrences, each kept with probability 0.1: far outside 40..160
    # only if the draws are broken.
    assert 40 <= survivors <= 160
    assert len(lines) == survivors + 1


def test_equal_arguments_give_identical_files_in_separate_runs(activation_file, tmp_path):
    source = activation_file(corpus(sentences=200))
    outputs = []
    for run in range(2):
        output = tmp_path / f"run{run}.txt"
        result = run_python(
            f"import ondravane_converter as m; m.processor({source!r}, {str(output)!r}, 2, 3, 12345)"
        )
        assert result.returncode == 0
        outputs.append(output.read_bytes())
    assert outputs[0] == outputs[1]
    assert outputs[0] != b"0 0\n"
