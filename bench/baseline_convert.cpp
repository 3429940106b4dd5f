// baseline_convert: the same conversions as kvax.out -u2f and -f2u done the plain way,
// with snprintf and strtof per value and stdio buffering, as a yardstick for the timing
// script. It handles only the default layout (tag length 2, one section).
//   baseline_convert u2f in.u out.f | f2u in.f out.u
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool read_record(std::FILE* f, std::vector<char>& data) {
  std::uint32_t n = 0, m = 0;
  if (std::fread(&n, 4, 1, f) != 1) return false;
  data.resize(n);
  if (n && std::fread(data.data(), 1, n, f) != n) return false;
  return std::fread(&m, 4, 1, f) == 1 && m == n;
}

void write_record(std::FILE* f, const void* p, std::uint32_t n) {
  std::fwrite(&n, 4, 1, f);
  std::fwrite(p, 1, n, f);
  std::fwrite(&n, 4, 1, f);
}

int u2f(const char* in, const char* out) {
  std::FILE* fi = std::fopen(in, "rb");
  std::FILE* fo = std::fopen(out, "wb");
  if (!fi || !fo) return 1;
  std::vector<char> h, row;
  if (!read_record(fi, h) || h.size() < 19) return 1;
  std::int32_t k, l, v;
  std::memcpy(&k, h.data(), 4);
  std::memcpy(&l, h.data() + 4, 4);
  std::memcpy(&v, h.data() + 15, 4);
  std::fprintf(fo, "%10d%10d %c %.4s %.2s %10d\n", k, l, h[8], h.data() + 9, h.data() + 13, v);
  for (int j = 0; j < l; ++j) {
    if (!read_record(fi, row)) return 1;
    const float* x = reinterpret_cast<const float*>(row.data());
    for (int i = 0; i < 2 * k; ++i) {
      char field[32];
      std::snprintf(field, sizeof field, "%12.4E", static_cast<double>(x[i]));
      std::fputs(field, fo);
      if (i % 10 == 9 || i == 2 * k - 1) std::fputc('\n', fo);
    }
  }
  std::fclose(fi);
  return std::fclose(fo) == 0 ? 0 : 1;
}

int f2u(const char* in, const char* out) {
  std::FILE* fi = std::fopen(in, "rb");
  std::FILE* fo = std::fopen(out, "wb");
  if (!fi || !fo) return 1;
  char line[4096];
  if (!std::fgets(line, sizeof line, fi)) return 1;
  int k = 0, l = 0, v = 0;
  char typ = 'M', vartyp[5] = {}, tag[3] = {};
  std::sscanf(line, "%10d%10d %c %4c %2c %10d", &k, &l, &typ, vartyp, tag, &v);
  std::string h(19, ' ');
  std::memcpy(h.data(), &k, 4);
  std::memcpy(h.data() + 4, &l, 4);
  h[8] = typ;
  std::memcpy(h.data() + 9, vartyp, 4);
  std::memcpy(h.data() + 13, tag, 2);
  std::memcpy(h.data() + 15, &v, 4);
  write_record(fo, h.data(), 19);
  std::vector<float> row(2 * static_cast<std::size_t>(k));
  for (int j = 0; j < l; ++j) {
    for (int i = 0; i < 2 * k; i += 10) {
      if (!std::fgets(line, sizeof line, fi)) return 1;
      for (int q = 0; q < 10 && i + q < 2 * k; ++q) {
        char field[13];
        std::memcpy(field, line + 12 * q, 12);
        field[12] = 0;
        row[static_cast<std::size_t>(i + q)] = std::strtof(field, nullptr);
      }
    }
    write_record(fo, row.data(), static_cast<std::uint32_t>(row.size() * 4));
  }
  std::fclose(fi);
  return std::fclose(fo) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: baseline_convert u2f|f2u in out\n");
    return 2;
  }
  return std::strcmp(argv[1], "u2f") == 0 ? u2f(argv[2], argv[3]) : f2u(argv[2], argv[3]);
}
