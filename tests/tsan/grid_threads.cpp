// Two readers of two files on two threads, and two writers, under ThreadSanitizer: the
// grid layer shares no mutable state between calls. Built with -fsanitize=thread from the
// grid layer's sources and what they need (tests/tsan/CMakeLists.txt); any report fails.
//   grid_threads DIRECTORY
#include <complex>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <kvax/grid.h>

namespace {

kvax::Section grid(int k, int l, float scale) {
  kvax::Section s(kvax::Element::cmpx, k, l, 'M', "M2", 1);
  auto v = s.as<std::complex<float>>();
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = {scale * static_cast<float>(i), -static_cast<float>(i % 97)};
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  int failures = 0;
  // Text and binary files written on two threads at once, then each read on its own thread.
  const std::vector<std::string> names{dir + "/a.f", dir + "/b.f", dir + "/c.u", dir + "/d.u"};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < names.size(); ++t) {
    threads.emplace_back([&, t] {
      const kvax::Section s = grid(360, 90 + static_cast<int>(t), 0.5f + static_cast<float>(t));
      kvax::WriteOptions o;
      o.formatted = names[t].back() == 'f';
      kvax::write_sections(names[t], std::span(&s, 1), o);
    });
  }
  for (auto& th : threads) th.join();
  threads.clear();
  std::vector<std::size_t> rows(names.size());
  for (std::size_t t = 0; t < names.size(); ++t) {
    threads.emplace_back([&, t] {
      kvax::SectionReader r(names[t]);
      while (r.next()) {
        const kvax::Section s = r.read();
        std::vector<std::complex<float>> part(static_cast<std::size_t>(s.k) * 10);
        r.read_rows(40, 10, std::span(part));
        rows[t] += static_cast<std::size_t>(s.l);
      }
      rows[t] += kvax::read_sections(names[t]).size();
    });
  }
  for (auto& th : threads) th.join();
  for (std::size_t t = 0; t < names.size(); ++t) {
    if (rows[t] != 90 + t + 1) {
      std::fprintf(stderr, "%s: %zu rows\n", names[t].c_str(), rows[t]);
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
