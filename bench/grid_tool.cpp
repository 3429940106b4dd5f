// grid_tool: the grid layer's calls as whole programs, for bench/grid_runs.sh.
//   grid_tool read FILE            read_sections
//   grid_tool bytes FILE           the file's bytes read into memory (the baseline)
//   grid_tool convert IN OUT f|u   read_sections, then write_sections in that representation
//   grid_tool serial F1 F2         read_sections of F1, then of F2
//   grid_tool threads F1 F2        read_sections of F1 and F2 on two threads
//   grid_tool pair F1 F2 N         in one process, N times in turns: F1 then F2, and F1 and F2
//                                  on two threads; the medians of the reads alone and their
//                                  ratio (no process start or exit in either)
//   grid_tool none                 nothing (the resident memory of the program itself)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <kvax/grid.h>

namespace {

// A checksum of the values, so that nothing read is left unused.
unsigned sum(const std::vector<kvax::Section>& all) {
  unsigned s = 0;
  for (const kvax::Section& x : all)
    for (std::size_t i = 0; i < x.values.size(); i += 4096) s += static_cast<unsigned>(x.values.data()[i]);
  return s;
}

unsigned read_all(const char* name) { return sum(kvax::read_sections(name)); }

unsigned bytes(const char* name) {
  const int fd = ::open(name, O_RDONLY);
  if (fd < 0) return 0;
  const off_t n = ::lseek(fd, 0, SEEK_END);
  auto buf = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(n));
  std::size_t done = 0;
  while (done < static_cast<std::size_t>(n)) {
    const ssize_t r = ::pread(fd, buf.get() + done, static_cast<std::size_t>(n) - done, static_cast<off_t>(done));
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  ::close(fd);
  unsigned s = 0;
  for (std::size_t i = 0; i < done; i += 4096) s += static_cast<unsigned char>(buf[i]);
  return s;
}

unsigned on_two_threads(const char* a_name, const char* b_name) {
  unsigned a = 0, b = 0;
  std::thread t([&] { a = read_all(a_name); });
  b = read_all(b_name);
  t.join();
  return a + b;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The reads of two files one after the other and on two threads, in turns.
unsigned pair(const char* a, const char* b, int runs) {
  std::vector<double> serial, threads;
  unsigned s = on_two_threads(a, b);  // a warm-up: pages, thread start
  for (int n = 0; n < runs; ++n) {
    const auto t0 = std::chrono::steady_clock::now();
    s += read_all(a) + read_all(b);
    const auto t1 = std::chrono::steady_clock::now();
    s += on_two_threads(a, b);
    const auto t2 = std::chrono::steady_clock::now();
    serial.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    threads.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
  }
  std::fprintf(stderr, "%.1f %.1f %.3f\n", median(threads), median(serial), median(threads) / median(serial));
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  unsigned s = 0;
  try {
    if (mode == "read" && argc == 3) {
      s = read_all(argv[2]);
    } else if (mode == "bytes" && argc == 3) {
      s = bytes(argv[2]);
    } else if (mode == "convert" && argc == 5) {
      kvax::WriteOptions o;
      o.formatted = argv[4][0] == 'f';
      kvax::write_sections(argv[3], kvax::read_sections(argv[2]), o);
    } else if (mode == "serial" && argc == 4) {
      s = read_all(argv[2]) + read_all(argv[3]);
    } else if (mode == "threads" && argc == 4) {
      s = on_two_threads(argv[2], argv[3]);
    } else if (mode == "pair" && argc == 5) {
      s = pair(argv[2], argv[3], std::atoi(argv[4]));
    } else if (mode != "none") {
      std::fprintf(stderr, "usage: grid_tool read|bytes FILE | convert IN OUT f|u | serial|threads F1 F2 | pair F1 F2 N | none\n");
      return 2;
    }
  } catch (const kvax::Error& e) {
    std::fprintf(stderr, "grid_tool: %s\n", e.what());
    return 1;
  }
  std::printf("%u\n", s);
  return 0;
}
