// /CODFMT/ and its six setters.
#include <kvax/arrays/codfmt.h>

namespace kvax {
namespace {

struct Codfmt {
  Text dfmt = text("(1p,10d12.4,:)", 64);
  Text efmt = text("(1p,10e12.4,:)", 64);
};

Codfmt& codfmt() {
  static Codfmt c;
  return c;
}

}  // namespace

const Text& efmt() { return codfmt().efmt; }
const Text& dfmt() { return codfmt().dfmt; }
void getzm_fmt(std::string_view format) { assign(codfmt().efmt, format); }
void outzm_fmt(std::string_view format) { assign(codfmt().efmt, format); }
void getrm_fmt(std::string_view format) { assign(codfmt().efmt, format); }
void outrm_fmt(std::string_view format) { assign(codfmt().efmt, format); }
void getdm_fmt(std::string_view format) { assign(codfmt().dfmt, format); }
void outdm_fmt(std::string_view format) { assign(codfmt().dfmt, format); }

}  // namespace kvax
