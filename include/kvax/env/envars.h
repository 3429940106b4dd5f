// Environment-variable substitution in file names and comments: ${NAME} and $NAME are
// replaced in place by the variable's value, or removed when it is undefined or blank.
//
// A "\" before the "$" keeps a reference; a text ending in "!!!" traces every step on
// standard output. A braced reference without its "}" writes "Missing }" and stops the run.
#pragma once

#include <kvax/text/text.h>

namespace kvax {

// Braced substitutions made in one call, at most: a variable whose value refers to itself
// would otherwise rescan forever. When it is reached, one warning line is written and
// the text keeps what was substituted so far.
inline constexpr int max_envar_substitutions = 64;

// Each works on its own field length (64, 256, 128 characters) whatever the caller's:
// the caller's text is taken blank-padded or cut to that length, and the result is
// written back over the caller's first characters (any beyond stay as they are).
void replace_envars(Text& field);      // 64 characters, trace tag "<repenv>"
void replace_envars_l(Text& field);    // 256 characters, trace tag "<repenL>"
void replace_envars_128(Text& field);  // 128 characters; undefined variables removed one by one

}  // namespace kvax
