// grid_flip: reads every section of a file of either representation, halves the values of
// the complex sections, and writes them all in the other representation.
//   grid_flip INPUT OUTPUT
#include <complex>
#include <cstdio>
#include <vector>

#include <kvax/grid.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: grid_flip INPUT OUTPUT\n");
    return 2;
  }
  try {
    // Representation, byte order and tag length come from the file itself.
    const kvax::FileInfo info = kvax::describe(argv[1]);
    std::vector<kvax::Section> sections = kvax::read_sections(argv[1]);
    for (kvax::Section& s : sections) {
      std::printf("%-4.4s %c %5d x %-5d %s\n", kvax::element_word(s.element).data(), s.grid, s.k, s.l,
                  s.tag.c_str());
      if (s.element != kvax::Element::cmpx) continue;
      for (std::complex<float>& v : s.as<std::complex<float>>()) v *= 0.5f;  // row 1 first
      s.at<std::complex<float>>(1, 1) = {0, 0};  // row 1, cell 1
    }
    const bool text = info.representation == kvax::Representation::formatted;
    kvax::write_sections(argv[2], sections, {.formatted = !text, .tag_length = info.tag_length});
  } catch (const kvax::Error& e) {
    // "m2.u: file ends inside row 418 of section 2 (M2)"
    std::fprintf(stderr, "grid_flip: %s\n", e.what());
    return e.kind() == kvax::ErrorKind::file ? 3 : 1;
  }
  return 0;
}
