// /COZ/ and /COZC/: the pool of the constituent set last loaded, its control record,
// the size declaration, the fit check and the values read back.
#include <kvax/arrays/coz.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

#include "arrays/coz_pool.h"
#include "testing.h"

namespace kvax {
namespace {

// The pool as the library declares it: 1000 Z values and 100 each of U and V.
constexpr int initial_z_size = 1000;
constexpr int initial_m_size = 100;
constexpr std::size_t initial_pool = initial_z_size + 2 * initial_m_size;
constexpr int out_of_pool_messages = 5;

struct Coz {
  std::vector<Cell> pool = std::vector<Cell>(initial_pool);
  CozControl control{text("xx", 16), 2, initial_z_size, initial_m_size, 0, 0, 0};
  // The (Z need, M need) pair chkcoz last named the pool for.
  bool reported = false;
  long long reported_z = 0, reported_m = 0;
  int out_of_pool = 0;  // zoz_value calls outside the pool so far
};

Coz& coz() {
  static Coz c;
  return c;
}

// Where the region of a component starts (its position 1 is start + 1); false for a
// component that has none.
bool region_start(int component, long long& start) {
  const CozControl& c = coz().control;
  switch (component) {
    case 0:
      start = 0;
      return true;
    case 1:
      start = c.z_size;
      return true;
    case 2:
      start = static_cast<long long>(c.z_size) + c.m_size;
      return true;
    default:
      return false;
  }
}

// " <routine>>> Main program must include COMMON /COZ/ array(" size ")  real*4"
void name_the_pool(std::string_view routine, long long z, long long m) {
  write_fmt(6, "(A,I6,A)", " <" + std::string(routine) + ">>> Main program must include COMMON /COZ/ array(",
            static_cast<std::int64_t>(2 * (z + 2 * m)), ")  real*4");
}

}  // namespace

Cell zoz_value(int component, int reference) {
  Coz& c = coz();
  long long start = 0;
  const bool region = region_start(component, start);
  const long long position = start + std::llabs(static_cast<long long>(reference));
  if (region && reference != 0 && position >= 1 && position <= static_cast<long long>(c.pool.size()))
    return c.pool[static_cast<std::size_t>(position - 1)];
  if (c.out_of_pool < out_of_pool_messages) {
    ++c.out_of_pool;
    write_fmt(6, "(A,I1,I10)", " <ZozVal>E> Out of common. Comp., stor.ref.:", component, reference);
  }
  return Cell(0.0f, 0.0f);
}

void extcoz(int nz, int nm) {
  Coz& c = coz();
  c.control.z_size = nz;
  c.control.m_size = nm;
  // The pool holds the declared regions; it never shrinks below what it held, so the
  // library's own 1200 values stay.
  const long long need = std::max(nz, 0) + 2LL * std::max(nm, 0);
  if (need > static_cast<long long>(c.pool.size())) c.pool.resize(static_cast<std::size_t>(need));
  write_fmt(6, "(A,2I5)", " <EXTCOZ>>> Common /COZ/ size for \"Z\" \"M\":", nz, nm);
  if (nz > initial_z_size || nm > initial_m_size) name_the_pool("EXTCOZ", nz, nm);
}

void chkcoz() {
  Coz& c = coz();
  const long long z = c.control.z_need, m = std::max(c.control.m_need, 0);
  if ((z > initial_z_size || m > initial_m_size) && !(c.reported && c.reported_z == z && c.reported_m == m)) {
    name_the_pool("CHKCOZ", z, m);
    c.reported = true;
    c.reported_z = z;
    c.reported_m = m;
  }
  if (z <= c.control.z_size && m <= c.control.m_size) return;
  write_fmt(6, "(A)", " <CHKCOZ>T> Insufficient space in Common /COZ/.");
  write_fmt(6, "(A,I6,A,I4,A,I4,A)", " <CHKCOZ>I> Allocate in MAIN: COMMON /COZ/ array(",
            static_cast<std::int64_t>(2 * (z + 2 * m)), ") and issue CALL EXTCOZ (", static_cast<std::int64_t>(z), ",",
            static_cast<std::int64_t>(m), ")");
  // Also at the first check of a set (M need not yet known): its Z values would not fit.
  stop_run();
}

CozControl cozc() { return coz().control; }

void set_cozc_tag_length(int n) { coz().control.tag_length = n; }
int cozc_tag_length() { return coz().control.tag_length; }
void set_cozc_tag(std::string_view tag) { assign(coz().control.tag, tag); }

void begin_coz_set(int z_need, int z_boundary) {
  CozControl& c = coz().control;
  c.z_need = z_need;
  c.z_boundary = z_boundary;
  c.m_need = -1;
}

void set_coz_m_need(int m_need) { coz().control.m_need = m_need; }

void store_coz(int component, long long first, std::span<const Cell> values) {
  std::vector<Cell>& pool = coz().pool;
  long long start = 0;
  if (!region_start(component, start)) return;
  for (std::size_t q = 0; q < values.size(); ++q) {
    const long long at = start + first + static_cast<long long>(q);  // from 0
    if (at >= 0 && at < static_cast<long long>(pool.size())) pool[static_cast<std::size_t>(at)] = values[q];
  }
}

void coz_reset_for_tests() { coz() = Coz(); }

}  // namespace kvax
