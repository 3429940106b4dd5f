// Loads a plugin at run time and has it convert a grid file to text.
//   load_plugin PLUGIN.so INPUT OUTPUT
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: load_plugin PLUGIN.so INPUT OUTPUT\n");
    return 2;
  }
  void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!plugin) {
    std::fprintf(stderr, "load_plugin: %s\n", dlerror());
    return 1;
  }
  using Convert = int (*)(const char*, const char*);
  const auto convert = reinterpret_cast<Convert>(dlsym(plugin, "kvax_plugin_to_text"));
  if (!convert) {
    std::fprintf(stderr, "load_plugin: %s\n", dlerror());
    return 1;
  }
  const int rc = convert(argv[2], argv[3]);
  dlclose(plugin);
  return rc;
}
