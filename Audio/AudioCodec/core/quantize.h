// Vector quantisation of regions and the per-layer rate control.
#pragma once
#include <cstdint>

#include "core/bit_writer.h"
#include "core/core_tables.h"

// A region as its last quantisation left it: the index of each vector (in
// vector order, as many as the category has vectors), which digits are
// non-zero (bit i for coefficient i; digits are held to the category's max
// bin) and the bits the coded vectors take.
struct QuantisedRegion {
    uint16_t index[kRegionSize / 2];
    uint32_t nonzero;
    int32_t bits;
};

// Quantises the 20 coefficients of a region whose power index plus 24 is
// table_power at a category and returns the bits they take when coded
// (codes and sign bits). A category of 7 or more spends none.
int QuantizeRegion(const float* coefficients, int32_t table_power, int32_t category, QuantisedRegion* region);

// Writes the coded vectors of a layer's regions in the order given
// (positions within the layer), each region as QuantizeRegion left it at
// its category: each vector's code, then its sign bits (none from category
// 7 on), stopping at bit `end` of the frame, in the middle of a vector if
// need be.
void WriteRegions(const float* coefficients, const QuantisedRegion* quantised, const int32_t* categories,
                  const int32_t* order, int regions, int end, BitWriter* writer);

// Rate control over a layer of `regions` regions: starting from the
// categorisation's categories (updated in place), finds the control value
// that fits the budget, leaving each region quantised at its category.
// table_power: power index + 24 per region of the layer. Returns the
// categorisation control value 0 ... 31.
int QuantizeLayer(int regions, int budget, const float* coefficients, const int32_t* table_power,
                  int32_t* categories, const int32_t* balance_list, QuantisedRegion* quantised);
