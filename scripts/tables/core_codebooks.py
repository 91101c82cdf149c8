"""The spectral core's code tables, from its code data files.

Reads core/data/power_codes.txt (13 rows of 24 differential power codes) and
core/data/vector_codebooks.txt (vector Huffman codes of categories 0 ... 6)
and emits, per code table, the code lengths, the code values and a decoding
tree.

Tree layout: node 0 is the root; each node has a child for bit 0 and for bit
1; a child > 0 is the next node, a child <= 0 is a leaf holding the negated
index. Nodes are numbered in the order they are first needed when the codes
are inserted in index order.
"""
from fractions import Fraction
import os
import sys

TARGET = "Audio/AudioCodec/core/core_codebooks.cpp"
NOTE = "From core/data/*.txt."
CATEGORIES = 7
ENTRIES = [196, 100, 49, 625, 256, 243, 32]


def data_lines(path):
    with open(path) as f:
        return [line.split() for line in f if line.strip() and not line.startswith("#")]


def read_power_codes(core):
    rows = data_lines(os.path.join(core, "data", "power_codes.txt"))
    if len(rows) != 13 or any(len(row) != 24 for row in rows):
        sys.exit("power_codes.txt: expected 13 rows of 24 codes")
    return [[(code, index) for index, code in enumerate(row)] for row in rows]


def read_vector_codebooks(core):
    books = [[] for _ in range(CATEGORIES)]
    for category, index, length, code, decodes_to in data_lines(
            os.path.join(core, "data", "vector_codebooks.txt")):
        book = books[int(category)]
        if int(index) != len(book) or int(length) != len(code):
            sys.exit("vector_codebooks.txt: bad row %s %s" % (category, index))
        book.append((code, int(decodes_to)))
    if [len(book) for book in books] != ENTRIES:
        sys.exit("vector_codebooks.txt: wrong number of entries per category")
    return books


def build_tree(codes):
    """codes: (code string, decoded index) per index. Checks that the distinct code words
    form a complete prefix code and that equal words decode alike; returns the node list."""
    words = {}
    for code, decoded in codes:
        if words.setdefault(code, decoded) != decoded:
            sys.exit("code %s decodes to two indices" % code)
    if sum(Fraction(1, 2 ** len(w)) for w in words) != 1:
        sys.exit("code is not complete")
    nodes = [[None, None]]
    for code, decoded in codes:
        node = 0
        for depth, bit in enumerate(code):
            child = nodes[node][int(bit)]
            if depth == len(code) - 1:
                if child is not None and child != -decoded:
                    sys.exit("code %s is a prefix of another" % code)
                nodes[node][int(bit)] = -decoded
            else:
                if child is None:
                    nodes.append([None, None])
                    child = len(nodes) - 1
                    nodes[node][int(bit)] = child
                elif child <= 0:
                    sys.exit("code %s extends another" % code)
                node = child
    if any(child is None for node in nodes for child in node):
        sys.exit("decoding tree has an empty branch")
    return nodes


def c_list(values, per_line=16, indent="    "):
    text = [", ".join(str(v) for v in values[i:i + per_line]) for i in range(0, len(values), per_line)]
    return (",\n" + indent).join(text)


def render(root):
    """The body of the file, below the banner; root is the source tree."""
    core = os.path.join(root, "Audio", "AudioCodec", "core")
    out = ["#include \"core/core_tables.h\"", ""]

    power_rows = read_power_codes(core)
    lengths = [[len(code) for code, _ in row] for row in power_rows]
    values = [[int(code, 2) for code, _ in row] for row in power_rows]
    trees = [build_tree(row) for row in power_rows]
    if any(len(tree) != 23 for tree in trees):
        sys.exit("power code trees must have 23 nodes")
    out.append("const uint8_t PowerCodeLength[13][24] = {")
    out += ["    {%s}," % ", ".join(map(str, row)) for row in lengths]
    out.append("};")
    out.append("const uint16_t PowerCode[13][24] = {")
    out += ["    {%s}," % ", ".join(map(str, row)) for row in values]
    out.append("};")
    out.append("const int16_t PowerCodeTree[13][23][2] = {")
    out += ["    {%s}," % ", ".join("{%d, %d}" % tuple(n) for n in tree) for tree in trees]
    out.append("};")
    out.append("")

    for category, book in enumerate(read_vector_codebooks(core)):
        tree = build_tree(book)
        out.append("static const uint8_t kCategory%dLength[%d] = {\n    %s};" %
                   (category, len(book), c_list([len(code) for code, _ in book])))
        out.append("static const uint16_t kCategory%dCode[%d] = {\n    %s};" %
                   (category, len(book), c_list([int(code, 2) for code, _ in book], 12)))
        out.append("static const int16_t kCategory%dTree[%d][2] = {\n    %s};" %
                   (category, len(tree), c_list(["{%d, %d}" % tuple(n) for n in tree], 8)))
        out.append("")

    out.append("const VectorCodebook VectorCodebooks[7] = {")
    out += ["    {%d, kCategory%dLength, kCategory%dCode, kCategory%dTree}," %
            (ENTRIES[c], c, c, c) for c in range(CATEGORIES)]
    out.append("};")

    return "\n".join(out) + "\n"
