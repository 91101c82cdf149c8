// Vector quantisation of regions and the per-layer rate control.
#pragma once
#include <cstdint>

#include "core/core_tables.h"

// Ten category-0 vectors of a 16-bit code and two sign bits each need 180
// bits; the store holds 192 so that no region is ever cut by its store.
constexpr int kRegionStoreWords = 6;

// A region's coded vectors, most significant bit first.
struct RegionCode {
    uint32_t words[kRegionStoreWords];
    int32_t bits;
};

// Codes the 20 coefficients of a region of category 0 ... 6 whose power
// index plus 24 is table_power. Returns the bit count.
int QuantizeRegion(const float* coefficients, int32_t table_power, int32_t category, RegionCode* code);

// Rate control over a layer of `regions` regions: starting from the
// categorisation's categories (updated in place; a category of 7 or more
// spends no bits), finds the control value that fits the budget and codes
// every region. table_power: power index + 24 per region of the layer.
// Returns the categorisation control value 0 ... 31.
int QuantizeLayer(int regions, int budget, const float* coefficients, const int32_t* table_power,
                  int32_t* categories, const int32_t* balance_list, RegionCode* codes);
