#include "core/code_lookup.h"

#include "core/core_tables.h"

namespace {

constexpr int kPowerCodeRows = 13;
constexpr int kVectorCategories = 7;
constexpr int kVectorIndices = 196 + 100 + 49 + 625 + 256 + 243 + 32;  // codebook sizes of categories 0 ... 6

struct CodeLookups {
    CodeLookup power[kPowerCodeRows];
    CodeLookup vector[kVectorCategories];
    VectorDigits digits[kVectorIndices];
    const VectorDigits* digits_of[kVectorCategories];
};

void BuildLookup(const int16_t (*tree)[2], CodeLookup* lookup) {
    lookup->tree = tree;
    for (int prefix = 0; prefix < (1 << kLookupBits); ++prefix) {
        CodeLookupEntry entry = {0, kLookupBits, 0};
        int node = 0;
        for (int bit = kLookupBits - 1; bit >= 0; --bit) {
            const int child = tree[node][(prefix >> bit) & 1];
            if (child <= 0) {
                entry = {static_cast<int16_t>(-child), static_cast<uint8_t>(kLookupBits - bit), 1};
                break;
            }
            node = child;
            entry.target = static_cast<int16_t>(node);
        }
        lookup->entries[prefix] = entry;
    }
}

// Splits a vector index into its digits by repeated division by (max bin + 1),
// last digit first, each division done as (index * bin inverse) >> 15.
VectorDigits SplitVectorIndex(int index, int category) {
    const int base = MaxBin[category] + 1;
    VectorDigits digits = {};
    for (int j = VectorDimension[category] - 1; j >= 0; --j) {
        const int quotient = (index * BinInverse[category]) >> 15;
        digits.digit[j] = static_cast<uint8_t>(index - quotient * base);
        index = quotient;
        digits.nonzero += digits.digit[j] != 0;
    }
    return digits;
}

CodeLookups BuildLookups() {
    InitCoreTables();  // the bin inverses
    CodeLookups lookups;
    for (int row = 0; row < kPowerCodeRows; ++row) BuildLookup(PowerCodeTree[row], &lookups.power[row]);
    VectorDigits* digits = lookups.digits;
    for (int c = 0; c < kVectorCategories; ++c) {
        BuildLookup(VectorCodebooks[c].tree, &lookups.vector[c]);
        lookups.digits_of[c] = digits;
        for (int index = 0; index < VectorCodebooks[c].entries; ++index) *digits++ = SplitVectorIndex(index, c);
    }
    return lookups;
}

// Initialised exactly once, by the first caller; later calls only read the guard.
const CodeLookups& Lookups() {
    static const CodeLookups lookups = BuildLookups();
    return lookups;
}

}  // namespace

const CodeLookup& PowerCodeLookup(int row) { return Lookups().power[row]; }

const CodeLookup& VectorCodeLookup(int category) { return Lookups().vector[category]; }

const VectorDigits* VectorDigitsOf(int category) { return Lookups().digits_of[category]; }
