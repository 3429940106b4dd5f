// kvax_copy: reads the first complex section of an unformatted file with the kvax
// library and writes it again, as text and as binary records.
//   kvax_copy input.u output.f output.u
#include <cstdio>
#include <vector>

#include <kvax/kvax.h>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kvax_copy input.u output.f output.u\n");
    return 2;
  }
  std::printf("kvax_copy with the kvax library %s\n", kvax::version_string);
  int status = 0;
  try {
    // The opener reports each unit it connects; a failed open ends the run.
    kvax::openfs(std::string("21 ^ ") + argv[1]);  // unformatted, little-endian, read
    kvax::openfs(std::string("31 B ") + argv[2]);  // formatted, written new
    kvax::openfs(std::string("32 < ") + argv[3]);  // unformatted, written new

    int k = 0, l = 0;
    kvax::getsiz(21, k, l);
    std::vector<kvax::Cell> grid(static_cast<std::size_t>(k > 0 && l > 0 ? k * l : 0));
    kvax::Text typ = kvax::text(".", 1);    // any grid type
    kvax::Text tag = kvax::text("..", 4);   // any tag; a status code such as "EF" on failure
    kvax::getzm(21, grid, k, l, typ, tag);
    int version = -1;
    kvax::getver(version);
    if (version == -1) {
      std::fprintf(stderr, "kvax_copy: no section read from %s (%s)\n", argv[1], tag.c_str());
      status = 1;
    } else {
      kvax::setver(version);
      kvax::outzm_f(31, grid, k, l, typ, tag);
      kvax::outzm(32, grid, k, l, typ, tag);
    }
    kvax::close_all_units();
  } catch (const kvax::FatalIo& f) {
    std::fputs(f.report().c_str(), stderr);
    kvax::close_all_units();
    status = f.status();
  } catch (const kvax::RunEnd& e) {  // a stop inside the library
    kvax::close_all_units();
    status = e.status();  // 1 after STOP
  }
  return status;
}
