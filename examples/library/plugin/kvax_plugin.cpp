// A plugin that converts a grid file to text with kvax: one C entry point.
#include <cstdio>

#include <kvax/grid.h>

extern "C" int kvax_plugin_to_text(const char* input, const char* output) {
  try {
    kvax::write_sections(output, kvax::read_sections(input), {.formatted = true});
    return 0;
  } catch (const kvax::Error& e) {
    std::fprintf(stderr, "kvax_plugin: %s\n", e.what());
    return 1;
  }
}
