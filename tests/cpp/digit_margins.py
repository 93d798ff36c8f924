#!/usr/bin/env python3
"""The premise of the shortest digits' general path where its factor is
neither exact nor bounded by the 5^k argument (k < -52 or k > 27): no
positive finite double has a product f * (4c + d) (the value, d = 0, and the
bounds of its rounding interval, d = -2 and 2, or -1 below a power of two)
whose fraction below bit 124 is under 2^58, or under 2^123 + 2^58 from one
half up. Those are the only products the factor's rounding error (under
2^58) could move across a decision; with none, the products alone decide.

Every double is covered, not a sample: for each binary exponent the
fractions of f * 4c + b over a run of significands c are an arithmetic
progression modulo 2^124, and the count of its terms below a bound is a
difference of two floor sums, which Euclid's algorithm computes in a few
dozen steps. f is rebuilt here from its definition with Python's integers;
decimal_scales_test.cc checks that the C++ table holds the same values.

    digit_margins.py        exit status 1 if any product comes that close
"""
import random
import sys

UNIT = 1 << 124        # the scaled unit of the products
HALF = 1 << 123
MARGIN = 1 << 58       # the factor's rounding error stays below this
LOWEST_EXACT, HIGHEST_BOUNDED = -52, 27
HIDDEN = 1 << 52


def floor_sum(n, m, a, b):
    """sum of floor((a*i + b) / m) for i in [0, n), a and b non-negative."""
    total = 0
    while True:
        if a >= m:
            total += n * (n - 1) // 2 * (a // m)
            a %= m
        if b >= m:
            total += n * (b // m)
            b %= m
        top = a * n + b
        if top < m:
            return total
        n, b, m, a = top // m, top % m, a, m


def count_below(n, m, a, b, bound):
    """How many i in [0, n) have (a*i + b) mod m < bound."""
    return n + floor_sum(n, m, a, b) - floor_sum(n, m, a, b + m - bound)


def below_power_of_ten(q, k, three_quarters):
    """10^k <= 2^q (or 3 * 2^(q-2)), exactly."""
    left_num, left_den = (10 ** k, 1) if k >= 0 else (1, 10 ** -k)
    right_num, right_den = (3, 4) if three_quarters else (1, 1)
    right_num, right_den = (right_num << q, right_den) if q >= 0 else (right_num, right_den << -q)
    return left_num * right_den <= right_num * left_den


def scale_exponent(q, three_quarters):
    """floor(log10(2^q)), or of 3/4 of it below a power of two."""
    k = (q * 30103) // 100000 - 2
    while below_power_of_ten(q, k + 1, three_quarters):
        k += 1
    return k


def factor(q, k):
    """10^-k * 2^(122 + q) as the general path has it: 10^-k * 2^(122 - e),
    e = floor(log2(10^-k)), rounded up to an integer, times 2^(q + e)."""
    if k <= 0:
        power = 10 ** -k
        e = power.bit_length() - 1
        num, den = (power << (122 - e), 1) if e <= 122 else (power, 1 << (e - 122))
    else:
        power = 10 ** k
        e = -power.bit_length()  # 10^k is never a power of two
        num, den = 1 << (122 - e), power
    g = -(-num // den)
    h = q + e
    assert 0 <= h <= 3, (q, k, h)
    return g << h


def close_products(q, k, first, end, offsets, margin):
    """How many c in [first, end) have a product within `margin` above a
    boundary: for each d, f * (4c + d) mod 2^124 below margin, and for the
    value, f * 4c - 2^123 too."""
    f = factor(q, k)
    step = 4 * f % UNIT
    close = 0
    for d in offsets:
        starts = [f * (4 * first + d)]
        if d == 0:
            starts.append(f * 4 * first - HALF)
        close += sum(count_below(end - first, UNIT, step, start % UNIT, margin) for start in starts)
    return close


def unbounded(k):
    return k < LOWEST_EXACT or k > HIGHEST_BOUNDED


def close_doubles(margin):
    close = 0
    for q in range(-1074, 972):
        k = scale_exponent(q, False)
        if unbounded(k):
            # At the lowest exponent the subnormals and the smallest normal
            # binade, powers of two included, have the regular interval.
            first = 1 if q == -1074 else HIDDEN + 1
            close += close_products(q, k, first, 2 * HIDDEN, (-2, 0, 2), margin)
        k = scale_exponent(q, True)
        if q > -1074 and unbounded(k):
            close += close_products(q, k, HIDDEN, HIDDEN + 1, (-1, 0, 2), margin)
    return close


def main():
    # The counting against brute force, and a wider zone it does find
    # products in: a broken count would otherwise report none.
    rng = random.Random(1)
    for _ in range(3000):
        m = rng.choice([1 << rng.randint(3, 20), rng.randint(2, 5000)])
        a, b, n, bound = rng.randrange(m), rng.randrange(m), rng.randint(1, 300), rng.randint(0, m)
        assert count_below(n, m, a, b, bound) == sum((a * i + b) % m < bound for i in range(n))
    wider = close_doubles(1 << 64)
    assert wider > 0, "no product even within 2^64: the count is broken"
    close = close_doubles(MARGIN)
    print(f"doubles with a product within 2^58 of a boundary: {close} (within 2^64: {wider})")
    return 0 if close == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
