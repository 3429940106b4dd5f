// A data edit descriptor as it is in force for one item: the value type that the format
// walker hands to the editing functions (one repeated edit serves many items).
#pragma once

namespace kvax {

struct DataEdit {
  char kind = 'A';      // 'A', 'I', 'F', 'E', 'D', 'L'
  int width = -1;       // w; -1 when absent (A without a width)
  int digits = -1;      // d of Fw.d, Ew.d, Dw.d; m of Iw.m; -1 when absent
  int exp_digits = -1;  // e of Ew.dEe; -1 when absent
  int scale = 0;        // kP in force
};

// Widest field the format parser accepts; editing buffers are sized from it.
inline constexpr int max_field_width = 512;

}  // namespace kvax
