// The operations on /COZ/ and /COZC/ that the readers of constituent sets and the tag
// length setter use; everything else goes through <kvax/arrays/coz.h>.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include <kvax/arrays/coz.h>

namespace kvax {

void set_cozc_tag_length(int n);
int cozc_tag_length();
void set_cozc_tag(std::string_view tag);

// A new set: its Z need and boundary count; the M need is not known yet (-1).
void begin_coz_set(int z_need, int z_boundary);
void set_coz_m_need(int m_need);

// Stores values from position first + 1 of the component's region (0 Z, 1 U, 2 V) on;
// values whose position falls outside the pool are dropped.
void store_coz(int component, long long first, std::span<const Cell> values);

}  // namespace kvax
