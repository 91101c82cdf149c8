// Categorisation of a layer's regions and their sending order.
#pragma once
#include <cstdint>

// regions: 28 (base) or 16 (extension); available_bits: the layer's budget.
// Writes the categories (0 ... 7) and the 31-entry balance list (positions
// within the layer).
void Categorize(int regions, int available_bits, const int32_t* power_indices, int32_t* categories,
                int32_t* balance_list);
// The categories a layer is coded with at control value `control` (0 ... 31):
// Categorize's, raised at the first `control` entries of its balance list.
void CategorizeForControl(int regions, int available_bits, const int32_t* power_indices, int control,
                          int32_t* categories);
// Rewrites region_numbers (ascending on entry) into sending order.
void SortRegionsByPower(const int32_t* power_indices, int regions, int32_t* region_numbers);
