// /CVER/ and its operations.
#include <kvax/arrays/cver.h>

#include <kvax/io/statements.h>

#include "arrays/coz_pool.h"

namespace kvax {
namespace {

struct Cver {
  int version = -1;  // -1: unknown, or the last read failed
  int tag_length = 2;
};

Cver& cver() {
  static Cver c;
  return c;
}

}  // namespace

void set_length_tag_tide(int n) {
  // Tags longer than the 16-character tag buffers of the readers are cut to them; a
  // length below 0 would make every tag item negative in size, so it counts as 0.
  cver().tag_length = n > max_tag_length ? max_tag_length : (n < 0 ? 0 : n);
  set_cozc_tag_length(cver().tag_length);  // the constituent sets carry tags of the same length
  write_list(6, "<SLTagT>>> Tide symbols max length=", cver().tag_length);
}

int length_tag_tide(int flag) {
  if (flag != 0) write_list(6, "<LTagTi>>> Tide symbols max length=", cver().tag_length);
  return cver().tag_length;
}

void setver(int version) { cver().version = version; }
int cver_version() { return cver().version; }
void set_cver_version(int version) { cver().version = version; }
int cver_tag_length() { return cver().tag_length; }

}  // namespace kvax
