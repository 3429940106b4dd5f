// /COZ/ and /COZC/: the storage pool that holds the tide-constituent set last loaded by
// tgetoz, and its control record. The pool is three consecutive regions of complex
// values: Z at positions 1 to Z size, U after them (M size values), V after those.
#pragma once

#include <complex>

#include <kvax/arrays/section_layout.h>
#include <kvax/text/text.h>

namespace kvax {

// The pool value at |reference| in the region of the component (0 Z, 1 U, 2 V). A
// component other than these, a reference of 0 or a position outside the pool gives
// (0.0, 0.0) and, the first five times in a run, " <ZozVal>E> Out of common. Comp.,
// stor.ref.:" with the component (I1) and the reference (I10).
Cell zoz_value(int component, int reference);

// Declares the region sizes: Z size nz, M size nm (the pool's storage grows to hold
// them). Writes the size line, and the line naming the pool the program needs when the
// sizes pass the initial 1000 and 100.
void extcoz(int nz, int nm);

// Checks that the current set (Z need, M need) fits the region sizes; when it does not,
// writes the two "Insufficient space" lines and stops the run.
void chkcoz();

// /COZC/ as it stands (read only; tgetoz, extcoz and the tag length change it).
struct CozControl {
  Text tag;        // 16 characters: the tide symbol of the set last loaded ("xx" at start)
  int tag_length;  // significant tag characters, as in /CVER/
  int z_size;      // Z region capacity in complex values (1000 at start)
  int m_size;      // U and V region capacity each (100 at start)
  int z_need;      // Z values of the current set
  int z_boundary;  // of which on the actual boundary
  int m_need;      // U (and V) values of the current set; -1 while not yet known
};
CozControl cozc();

}  // namespace kvax
