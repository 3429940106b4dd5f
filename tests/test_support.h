// Shared helpers of the tests: scratch directories, whole files, captured standard
// output, running kvax.out as a process, the bytes of unformatted records and the lines
// every conversion run writes.
#pragma once

#include <bit>
#include <complex>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvax::test {

// A fresh directory under /tmp, removed with its files when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view bytes);
bool file_exists(const std::string& path);

// Unit 6 writes into text() while the object lives; every unit is closed at the end.
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;
  // What unit 6 has written so far.
  const std::string& text();
  void clear();

 private:
  std::string sink_;
};

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when the process ended by a signal
};

// Runs kvax.out with these arguments in directory `dir`, standard input empty, with the
// environment of the tests: HOST=testhost, a fixed clock, TZ=UTC, plus `env` entries.
ProcessResult run_kvax(const std::vector<std::string>& args, const std::string& dir,
                       const std::vector<std::string>& env = {});

// Runs `/bin/sh -c script` in directory `dir` with the environment of run_kvax, where
// $KVAX names kvax.out: for pipes, FIFOs, closed descriptors and limits.
ProcessResult run_shell(const std::string& script, const std::string& dir,
                        const std::vector<std::string>& env = {});

// The start line that run_kvax's fixed clock and host give.
inline constexpr std::string_view start_line = "0<StTiMe>>> kvax on host=testhost at 2026-12-08 06:19:18\n";

// Lines every conversion run writes: the tag length (2 unless -l) and the opener's report
// of a unit ("21:^", "31:B" ...) and its file name, "-" in column 49 or after the name.
inline const std::string tag_line = " <SLTagT>>> Tide symbols max length=           2\n";
std::string opened(std::string_view unit_letter, std::string_view name);

// A k x l grid whose cell number n (from 0) holds (1 + n, -n/2): exact in both
// representations, and a misplaced cell shows where it came from.
std::vector<std::complex<float>> sample_grid(int k, int l);

// Bytes as two-digit hexadecimal numbers separated by blanks, for readable failures.
std::string hex(std::string_view bytes);

// An unformatted section: a header record (K, L, grid type, "CMPX", tag, version) and the
// rows from the last to the first. Cell (i, j) is (i + 10 j, -j) unless cells are given
// (column-major). The rows written and their cells may differ from the header's K and L.
struct Section {
  int k = 3, l = 2;
  std::string typ = "M", vartyp = "CMPX", tag = "M2";
  int version = 7;
  int rows = -1, per_row = -1;  // -1: as the header says
  std::vector<std::pair<float, float>> cells;
  std::string header(bool big = false) const;
  std::string unformatted(bool big = false) const;
};

// Building unformatted files: a 4-byte value little-endian, the same for a float's bits,
// every 4 bytes reversed (the big-endian form of such values), and a framed record.
std::string le32(std::uint32_t v);
inline std::string le32(float v) { return le32(std::bit_cast<std::uint32_t>(v)); }
std::string swap4(std::string bytes);
std::string record(std::string_view data, bool big = false);

}  // namespace kvax::test
