// File-name registry /COPENF/: the file name (and a short comment) each unit was opened
// under, so that messages can name the file of a unit. Unit 0 holds the program name.
//
// An entry text is the file name up to its first blank, one blank, then a free comment,
// within 64 characters. 100 slots, independent of unit numbers; a full table overwrites
// the slot after the most recently stored one.
#pragma once

#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

inline constexpr int registry_slots = 100;
inline constexpr int registry_entry_length = 64;

// Stores the entry text (cut or padded to 64) for the unit. `replaced`: its environment
// references were replaced already (the opener stores the name it opened), so they are
// not replaced a second time when the name is fetched.
void save_file_name(int unit, std::string_view entry, bool replaced = false);
// The file name of the unit ("? ftn07" when none is stored), with a leading "~" replaced
// by $HOME and environment references replaced (once: not in an entry stored as
// replaced); unit 0 gives its entry unchanged.
void get_file_name(int unit, Text& name);
// The comment part of the unit's entry, without replacements; as get_file_name otherwise.
void get_file_comment(int unit, Text& comment);
// Closes the unit and clears the first slot that holds it.
void close_file_name(int unit);

}  // namespace kvax
