// /CODFMT/: the two edit formats with which the floating-point formatted writers write
// their values (and the REAL and DBLE formatted readers read theirs).
#pragma once

#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

// EFMT: complex and REAL values; initially "(1p,10e12.4,:)".
const Text& efmt();
// DFMT: DBLE values; initially "(1p,10d12.4,:)".
const Text& dfmt();

// Each assigns its argument (cut or blank-padded to 64 characters) without validation.
void getzm_fmt(std::string_view format);
void outzm_fmt(std::string_view format);
void getrm_fmt(std::string_view format);
void outrm_fmt(std::string_view format);
void getdm_fmt(std::string_view format);
void outdm_fmt(std::string_view format);

}  // namespace kvax
