"""The stereo dominance analysis's tables: the analysis window and the
cosine/sine rows, each value rounded to six decimal places.
"""
import math

TARGET = "Audio/AudioCodec/stereo/stereo_tables.cpp"
NOTE = "Values rounded to six decimal places."

WINDOW_LENGTH = 480
ROWS = 59                                 # j = 1 ... 59
BINS = [10 + 2 * b for b in range(10)]    # 1000, 1200, ..., 2800 Hz at 100 Hz per bin


def six_places(value):
    text = "%.6f" % value
    if text == "-0.000000":
        text = "0.000000"
    return text + "f"


def blackman(n):
    x = 2.0 * math.pi * n / (WINDOW_LENGTH - 1)
    return 0.42 - 0.5 * math.cos(x) + 0.08 * math.cos(2.0 * x)


def render(root):
    """The body of the file, below the banner (root is not needed)."""
    lines = [
        '#include "stereo/stereo_tables.h"',
        "",
        "const float BlackmanWindow480[480] = {",
    ]
    for start in range(0, WINDOW_LENGTH, 8):
        row = [six_places(blackman(n)) for n in range(start, start + 8)]
        lines.append("    " + ", ".join(row) + ",")
    lines.append("};")
    lines.append("")
    lines.append("const float StereoBinTable[59][2][10] = {")
    for j in range(1, ROWS + 1):
        angles = [2.0 * math.pi * k * j / WINDOW_LENGTH for k in BINS]
        cosines = ", ".join(six_places(math.cos(angle)) for angle in angles)
        sines = ", ".join(six_places(math.sin(angle)) for angle in angles)
        lines.append("    {{%s},\n     {%s}},  // j = %d" % (cosines, sines, j))
    lines.append("};")
    return "\n".join(lines) + "\n"
