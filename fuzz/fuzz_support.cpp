// Shared set-up of the fuzz targets.
#include "fuzz_support.h"
#include "testing.h"

#include <unistd.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <vector>

#include <kvax/arrays/coz.h>
#include <kvax/arrays/cver.h>
#include <kvax/files/instruction_units.h>
#include <kvax/files/openf.h>
#include <kvax/files/registry.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

// No fuzz input may run a shell command: the opener's options S and H call system(),
// which resolves to this definition in every fuzz binary. It answers as if no shell
// could be started.
extern "C" int system(const char*) { return -1; }

namespace kvax::fuzz {
namespace {

std::string& top_dir() {
  static std::string d;
  return d;
}

std::string& sink() {
  static std::string s;
  return s;
}

void remove_top_dir() {
  std::error_code ec;
  if (!top_dir().empty()) std::filesystem::remove_all(top_dir(), ec);
}

}  // namespace

void enter_work_dir() {
  if (!top_dir().empty()) return;
  // Checks that the shell is really out of reach before any input runs.
  if (std::system("exit 0") != -1) std::abort();
  char tmpl[] = "/tmp/kvax-fuzz-XXXXXX";
  if (!::mkdtemp(tmpl)) std::abort();
  top_dir() = tmpl;
  const std::string work = top_dir() + "/work";
  std::filesystem::create_directory(work);
  if (::chdir(work.c_str()) != 0) std::abort();
  std::atexit(remove_top_dir);
}

void clean_work_dir() {
  std::error_code ec;
  for (const std::string& d : {top_dir() + "/work", top_dir()}) {
    for (const auto& e : std::filesystem::directory_iterator(d, ec)) {
      if (e.path().filename() == "work") continue;
      std::filesystem::remove_all(e.path(), ec);
    }
  }
}

void capture_output() { capture_standard_output(&sink()); }
std::string& output() { return sink(); }

void reset_library() {
  // Standard output stays connected, with its buffer: a unit's first buffer costs more
  // under the sanitizers than most inputs. A unit 6 that an input connected to a file
  // is closed like the others.
  for (int unit = 0; unit < 100; ++unit) {
    if (unit == 5 || (unit == 6 && file_of_unit(6).empty()) || !is_connected(unit)) continue;
    try {
      close_unit(unit);
    } catch (const RunEnd&) {
    }
  }
  openf_reset_for_tests();
  instruction_units_reset_for_tests();
  registry_reset_for_tests();
  iomsg_reset_for_tests();
  coz_reset_for_tests();
  try {
    set_length_tag_tide(2);
    set_cver_version(-1);
  } catch (const RunEnd&) {
  }
  sink().clear();
}

void fixed_environment() {
  ::clearenv();
  const char* vars[][2] = {
      {"HOME", "h"},    {"HOST", "fuzzhost"}, {"TZ", "UTC"},   {"KVAX_TEST_CLOCK", "1796710758"},
      {"A", "alpha"},   {"U", "u"},           {"N", "21"},     {"OPT", "R"},
      {"B", "${B}"},    // refers to itself, braced
      {"C", "$C"},      // refers to itself, bare
      {"D", "x${D}y"},  // grows with every substitution
      {"E", "${F}"},    // E and F refer to each other
      {"F", "${E}"},    {"G", "$G$G"},        {"EMPTY", ""},   {"BLANK", "   "},
      {"DOLLAR", "$"},  {"OPEN", "${"},       {"ESC", "\\$A"}, {"SPACED", "a b"},
      {"BANG", "x!!!"},
  };
  for (const auto& v : vars) ::setenv(v[0], v[1], 1);
  ::setenv("LONG", std::string(300, 'L').c_str(), 1);
}

void write_file(const char* name, std::string_view bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const char* name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Io input_items(InputStatement& st, std::string_view kinds, std::size_t text_length) {
  std::int32_t i = 7;
  std::int64_t j = 7;
  float f = 7;
  double d = 7;
  bool l = false;
  std::complex<float> c;
  std::complex<double> z;
  Text a = text("", text_length);
  float fs[5] = {};
  std::complex<float> cs[3];
  std::int32_t is[3] = {};
  for (char k : kinds) {
    switch (kind_of(k)) {
      case 'i':
        st.item(i);
        break;
      case 'j':
        st.item(j);
        break;
      case 'f':
        st.item(f);
        break;
      case 'd':
        st.item(d);
        break;
      case 'l':
        st.item(l);
        break;
      case 'c':
        st.item(c);
        break;
      case 'z':
        st.item(z);
        break;
      case 'a':
        st.item(a);
        break;
      case 'F':
        st.items(std::span<float>(fs));
        break;
      case 'C':
        st.items(std::span<std::complex<float>>(cs));
        break;
      case 'I':
        st.items(std::span<std::int32_t>(is));
        break;
    }
  }
  const Io r = st.finish();
  if (a.size() != text_length) std::abort();
  return r;
}

void read_sections(const SectionReader& r, int passes, bool search, unsigned request, std::size_t tag_var) {
  // The caller's grid is bounded; the readers read no more rows than it holds.
  constexpr std::size_t max_cells = std::size_t{1} << 16;
  const char* typ_request[] = {".", "M", "Z", " "};
  const std::string_view tag_request = (request & 0x40) ? "M2" : "..";
  std::vector<std::complex<float>> grid;
  for (int pass = 0; pass < passes; ++pass) {
    int k = 0, l = 0;
    r.size(21, k, l);
    const std::size_t cells =
        k > 0 && l > 0 ? std::min<std::size_t>(static_cast<std::size_t>(k) * static_cast<std::size_t>(l), max_cells)
                       : 0;
    grid.assign(cells, std::complex<float>(0.0f, 0.0f));
    Text typ = text(typ_request[(request >> 4) & 3], 1);
    Text tag = text(tag_request, tag_var);
    if (search) {
      int version = pass;
      r.search(21, grid, k, l, typ, tag, version);
    } else {
      r.get(21, grid, k, l, typ, tag);
    }
    if (tag.size() != tag_var || typ.size() != 1) std::abort();
    int version = 0;
    r.version(version);
  }
}

}  // namespace kvax::fuzz
