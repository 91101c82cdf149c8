#include "core/code_lookup.h"

#include "core/core_tables.h"

namespace {

constexpr int kPowerCodeRows = 13;
constexpr int kVectorCategories = 7;
constexpr int kFiveDigitCategories = 2;  // 5 and 6
// Codes that go on past the first lookup, counted by their first bits: every
// one of them needs a second table.
constexpr int kLinkedPowerTables = 17;
constexpr int kLinkedVectorTables = 86;     // categories 0 ... 4
constexpr int kLinkedFiveDigitTables = 11;  // categories 5 and 6
constexpr int kPoolEntries =
    kPowerCodeRows * (1 << kPowerLookupBits) + kLinkedPowerTables * (1 << (kLongestCode - kPowerLookupBits)) +
    (kVectorCategories - kFiveDigitCategories) * (1 << VectorLookupBits(2)) +
    kLinkedVectorTables * (1 << (kLongestCode - VectorLookupBits(2))) +
    kFiveDigitCategories * (1 << VectorLookupBits(5)) +
    kLinkedFiveDigitTables * (1 << (kLongestCode - VectorLookupBits(5)));

struct CodeLookups {
    CodeEntry pool[kPoolEntries];
    int used;
    CodeLookup power[kPowerCodeRows];
    CodeLookup vector[kVectorCategories];
};

// The entry of a code of `length` bits leading to leaf `index`; `category`
// is that of a vector code, or -1 for a power difference code.
CodeEntry LeafEntry(int length, int index, int category) {
    if (category < 0) return length | length << 10 | static_cast<uint32_t>(index) << kCodeValueShift;
    // The digits by repeated division by (max bin + 1), last digit first,
    // each division done as (index * bin inverse) >> 15.
    const int dimension = VectorDimension[category];
    const int base = MaxBin[category] + 1;
    uint32_t digits = 0, nonzero = 0;
    int signs = 0;
    for (int j = dimension - 1; j >= 0; --j) {
        const int quotient = (index * BinInverse[category]) >> 15;
        const uint32_t digit = static_cast<uint32_t>(index - quotient * base);
        index = quotient;
        if (dimension == 5)
            digits |= static_cast<uint32_t>(digit == 2) << j | (digit == 2 ? 3u : 0u) << kTwosBits;
        else
            digits |= digit << (j * DigitFieldBits(dimension));
        nonzero |= static_cast<uint32_t>(digit != 0) << j;
        signs += digit != 0;
    }
    if (dimension == 5) digits += static_cast<uint32_t>(signs) << kTwosBits;
    return length | nonzero << 5 | (length + signs) << 10 | digits << kCodeValueShift;
}

// Fills the 2^bits entries of `table` for the codes that continue from
// `node`, `depth` bits into them. At the first level a code not ended
// within its bits gets a second table, for the rest of kLongestCode bits,
// from the pool.
void FillTable(CodeLookups* lookups, const CodeEntry* first_level, const int16_t (*tree)[2], int category, int node,
               int depth, int bits, CodeEntry* table) {
    for (int prefix = 0; prefix < (1 << bits); ++prefix) {
        int n = node;
        CodeEntry entry = 0;
        for (int i = bits - 1; i >= 0 && entry == 0; --i) {
            const int child = tree[n][(prefix >> i) & 1];
            if (child <= 0) entry = LeafEntry(depth + bits - i, -child, category);
            n = child;
        }
        const int linked_bits = kLongestCode - bits;
        if (entry == 0 && depth == 0 && lookups->used + (1 << linked_bits) <= kPoolEntries) {
            CodeEntry* linked = lookups->pool + lookups->used;
            lookups->used += 1 << linked_bits;
            FillTable(lookups, first_level, tree, category, n, bits, linked_bits, linked);
            entry = static_cast<uint32_t>(linked - first_level) << kCodeValueShift;
        }
        table[prefix] = entry;
    }
}

CodeLookup BuildLookup(CodeLookups* lookups, const int16_t (*tree)[2], int category, int first_bits) {
    CodeEntry* first_level = lookups->pool + lookups->used;
    lookups->used += 1 << first_bits;
    FillTable(lookups, first_level, tree, category, 0, 0, first_bits, first_level);
    return {first_level};
}

CodeLookups* BuildLookups() {
    InitCoreTables();  // the bin inverses
    static CodeLookups lookups;
    for (int row = 0; row < kPowerCodeRows; ++row)
        lookups.power[row] = BuildLookup(&lookups, PowerCodeTree[row], -1, kPowerLookupBits);
    for (int c = 0; c < kVectorCategories; ++c)
        lookups.vector[c] = BuildLookup(&lookups, VectorCodebooks[c].tree, c, VectorLookupBits(VectorDimension[c]));
    return &lookups;
}

// Built exactly once, by the first caller; later calls only read the guard.
const CodeLookups& Lookups() {
    static const CodeLookups* lookups = BuildLookups();
    return *lookups;
}

}  // namespace

const CodeLookup* PowerCodeLookups() { return Lookups().power; }

const CodeLookup* VectorCodeLookups() { return Lookups().vector; }
