"""The conversion rule read independently of the converter, in exact
rational arithmetic: the double a JSON number becomes, and the IEEE binary64
sums and quotients the options that combine layers and average occurrences
compute, each rounded once to nearest, ties to even. Integer arithmetic only:
the float operations of a 32-bit x86 interpreter may round twice (x87), so
they cannot stand for binary64 ones."""
import math
import struct
from fractions import Fraction


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


def ieee_add(a, b):
    """a + b in binary64: the exact sum rounded once; a zero sum is -0 only
    when both are -0."""
    exact = Fraction(a) + Fraction(b)
    if exact == 0:
        return -0.0 if math.copysign(1, a) < 0 and math.copysign(1, b) < 0 else 0.0
    return nearest_double(exact)


def ieee_divide(a, count):
    """a / count in binary64 (count a positive integer)."""
    if a == 0:
        return a
    return nearest_double(Fraction(a) / count)


def column_sums(vectors):
    """The element-wise sums of equally long vectors, each left to right in
    the order given, starting from the first vector itself."""
    sums = list(vectors[0])
    for vector in vectors[1:]:
        sums = [ieee_add(s, v) for s, v in zip(sums, vector)]
    return sums


def column_means(vectors):
    return [ieee_divide(s, len(vectors)) for s in column_sums(vectors)]


def float32_bits(value):
    """The bits of the float32 nearest to the double `value`, ties to even,
    found exactly (infinity beyond the largest float)."""
    if value == 0 or math.isinf(value):
        return struct.unpack("<I", struct.pack("<f", value))[0]
    exact = Fraction(value)
    negative, exact = exact < 0, abs(exact)
    exponent = exact.numerator.bit_length() - exact.denominator.bit_length()
    if exact < Fraction(2) ** exponent:
        exponent -= 1
    exponent = max(exponent, -126)
    units = exact / Fraction(2) ** (exponent - 23)
    significand, remainder = divmod(units.numerator, units.denominator)
    if 2 * remainder > units.denominator or (2 * remainder == units.denominator and significand % 2):
        significand += 1
    if significand == 1 << 24:
        significand, exponent = 1 << 23, exponent + 1
    if exponent > 127:
        return negative << 31 | 0xFF << 23
    biased = exponent + 127 if significand >= 1 << 23 else 0
    return negative << 31 | biased << 23 | (significand & ((1 << 23) - 1))
