// Values cut out of a line after a key word, up to a terminator, and numbers read from
// them with the record layer's free-format (list-directed) input.
//
// The key "^" (one caret, blank-padded) stands for the start of the line. Every character
// of the terminator field ends a value, blanks included. Which terminator decides is the
// caller's choice through the length argument: -9999 on entry asks for the one met first
// in the text; any other value for the first-listed one that occurs at all.
#pragma once

#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

// The length argument's value that asks for the earliest terminator.
inline constexpr int earliest_terminator = -9999;

// True when the key occurs (case-sensitively); value = the text after the key up to the
// deciding terminator (or the end of the text), pos = its first position, length = its
// length (at most the value field's, may be 0). A missing key leaves all three as they were.
bool q_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                 int& pos, int& length);
// As q_substring, the key search also trying upper-cased windows of the text (the key
// must then be given in upper case).
bool qu_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                  int& pos, int& length);

// A number read from the value after the key, or the default. ok is false exactly when
// the key is missing or the value is no readable number; an all-blank value gives the
// default with ok true. The number is read from the value as it stands in the text, also
// when the value field is too short to hold it.
double d_substring(std::string_view text, double dflt, std::string_view key, std::string_view terminators,
                   Text& value, int& pos, int& length, bool& ok);
float r_substring(std::string_view text, float dflt, std::string_view key, std::string_view terminators,
                  Text& value, int& pos, int& length, bool& ok);
int i_substring(std::string_view text, int dflt, std::string_view key, std::string_view terminators,
                Text& value, int& pos, int& length, bool& ok);

// A double read after the key. Delimiters (the trimmed terminators, then the bytes of
// ";,:/*#%(){}=£€<>[]$") right after the key are skipped and counted in skip; the number
// ends before the first delimiter or before a sign that does not follow an exponent
// letter ("&eEdD"). value holds the text from the key's end to the number's end with the
// first "&", then the first "^" after the skipped part turned into "d" (exponent markers).
// True when a number was read (from the whole value, whatever the field holds); false
// leaves number as it was and sets length to the value field's trimmed length. The key is expected to occur: when it does not, the scan starts
// at the position equal to its trimmed length.
bool qd_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                  int& skip, int& pos, int& length, double& number);
// As qd_substring, the number delivered rounded to single precision.
bool qr_substring(std::string_view text, std::string_view key, std::string_view terminators, Text& value,
                  int& skip, int& pos, int& length, float& number);

}  // namespace kvax
