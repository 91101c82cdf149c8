"""The transform's tables: the sine window and the 480-point FFT twiddles as
the single-precision floats nearest to the exact values. Sines and cosines are
evaluated with 50 decimal digits, so that every entry is correctly rounded
(exact zeros come out as +0).
"""
import decimal
import math
import struct

TARGET = "Audio/AudioCodec/transform/transform_tables.cpp"
NOTE = "Each entry is the single-precision float nearest to the exact value."

D = decimal.Decimal
decimal.getcontext().prec = 50
PI = D("3.14159265358979323846264338327950288419716939937510582097494459")


def sin_of_turns(numerator, denominator):
    """sin(2 pi * numerator / denominator) to 50 digits, reduced to [0, pi/4]
    by symmetry so that the Taylor series converges fast and exact zeros stay exact."""
    n = numerator % denominator
    sign = 1
    if 2 * n >= denominator:            # sin(x) = -sin(x - pi)
        n -= D(denominator) / 2
        sign = -sign
    if 4 * n > denominator:             # sin(x) = sin(pi - x)
        n = D(denominator) / 2 - n
    if 8 * n > denominator:             # sin(x) = cos(pi/2 - x)
        return sign * _cos_series(2 * PI * (D(denominator) / 4 - n) / denominator)
    return sign * _sin_series(2 * PI * D(n) / denominator)


def cos_of_turns(numerator, denominator):
    # cos(x) = sin(x + pi/2), with the quarter turn added exactly.
    return sin_of_turns(4 * numerator + denominator, 4 * denominator)


def _sin_series(x):
    term, total, k = x, x, 1
    while abs(term) > D(10) ** -55:
        term = -term * x * x / ((2 * k) * (2 * k + 1))
        total += term
        k += 1
    return total


def _cos_series(x):
    term, total, k = D(1), D(1), 1
    while abs(term) > D(10) ** -55:
        term = -term * x * x / ((2 * k - 1) * (2 * k))
        total += term
        k += 1
    return total


def nearest_float32(value):
    """The float32 nearest to a Decimal (ties to even), as a Python float."""
    if value == 0:
        return 0.0
    guess = struct.unpack("<f", struct.pack("<f", float(value)))[0]
    bits = struct.unpack("<I", struct.pack("<f", guess))[0]
    candidates = [struct.unpack("<f", struct.pack("<I", b))[0] for b in (bits - 1, bits, bits + 1)]
    return min(candidates, key=lambda c: (abs(D(c) - value), struct.unpack("<I", struct.pack("<f", c))[0] & 1))


def literal(value):
    text = "%.9g" % value
    if "e" not in text and "." not in text:
        text += ".0"
    return text + "f"


def emit_array(name, values, per_line):
    lines = ["const float %s[%d] = {" % (name, len(values))]
    for start in range(0, len(values), per_line):
        lines.append("    " + ", ".join(literal(v) for v in values[start:start + per_line]) + ",")
    lines.append("};")
    return "\n".join(lines)


def render(root):
    """The body of the file, below the banner (root is not needed)."""
    # w[n] = sin(pi (n + 0.5) / 1920) = sin(2 pi (2n + 1) / 7680).
    window = [nearest_float32(sin_of_turns(2 * n + 1, 7680)) for n in range(960)]
    twiddle = []
    for j in range(480):
        twiddle.append(nearest_float32(cos_of_turns(j, 480)))
        twiddle.append(nearest_float32(-sin_of_turns(j, 480)))
    assert all(math.isfinite(v) for v in window + twiddle)

    return "\n".join([
        '#include "transform/transform.h"',
        "",
        "// sin(pi (n + 0.5) / 1920), n = 0 ... 959.",
        emit_array("SineWindow", window, 6),
        "",
        "// (cos(2 pi j / 480), -sin(2 pi j / 480)), j = 0 ... 479.",
        emit_array("FftTwiddle", twiddle, 6),
        "",
    ])
