// String toolkit: position finders, searches, case and cleaning, deletion and
// replacement on fixed-length, blank-padded text fields (see util/text.h).
//
// Positions are 1-based and 0 means "not found". In-texts are string_views whose size()
// is the declared length; in/out texts are Text fields that keep their declared length.
// Every operation gives a defined result for any bytes, lengths and positions: nothing
// reads or writes outside a field. An empty pattern (declared length 0) is never found.
#pragma once

#include <span>
#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

// Position finders.
int index_l_nonblank(std::string_view text);  // last code above 32
int index_1_nonblank(std::string_view text);  // first code above 32
int index_l_decent(std::string_view text);    // last code 33 to 127
// First occurrence of the whole pattern at or after start.
int instr(int start, std::string_view text, std::string_view pattern);
// Last occurrence of the trimmed pattern (an all-blank pattern stands for itself).
int index_l(std::string_view text, std::string_view pattern);
// Last position of any terminator character, minus 1; the trimmed length when that is <= 0.
int length_s(std::string_view text, std::string_view terminators);
// Index (1 to n) of the first of the first n elements that begins with the whole prefix.
int loccar(std::span<const Text> elements, int n, std::string_view prefix);
// Position of the n-th blank-separated word; 0 when there are fewer words.
int kpos_word(std::string_view text, int n);
// Last position of a value that starts at `start` and runs up to a terminator: every
// character of the terminator field ends it, blanks included. With `earliest` the
// terminator met first in the text decides; otherwise the first-listed terminator that
// occurs at all from start on, wherever it stands. The declared length when none occurs;
// start - 1 for an empty value. The one rule that cuts keyed values and the names of
// environment references.
int value_end(std::string_view text, int start, std::string_view terminators, bool earliest);

// Searches.
bool q_index(std::string_view text, std::string_view pattern, int& pos);
// Exact search, then (with case_fallback) the pattern's first 32 characters in upper-cased
// 32-character windows of the text; the pattern itself is not raised.
bool qu_index(std::string_view text, std::string_view pattern, int& pos, bool case_fallback);
bool qor_index(std::string_view text, std::string_view set, int& index);
bool ql_index(std::string_view text, std::string_view set, int& pos);
int ior_index(std::string_view text, std::string_view set, int& index);
// Case-insensitive: the word's first 32 characters occur in the list at pos.
bool quch_in(std::string_view word, std::string_view list, int& pos);
// One separator-delimited item of text (first..last) occurs in the list at list_pos.
bool qucss(std::string_view text, std::string_view list, std::string_view separator, int& first,
           int& last, int& list_pos);

// Case and cleaning. ucase/lcase fill out positions 1 to min(in, out) and leave the rest;
// in and out may be the same field.
void ucase(std::string_view in, Text& out);
void lcase(std::string_view in, Text& out);
// Replaces characters outside 32..127 (up to the trimmed length) by replacement when its
// code is 32 or above; returns the lowest such position minus 1, else the trimmed length.
int make_decent(Text& text, char replacement);

// Deletion and replacement in place. A last of 0 or less means the trimmed length.
void delete_1_in_string(Text& text, std::string_view pattern, int first, int last);
void delete_l_in_string(Text& text, std::string_view pattern, int first, int last);
void delete_in_string(Text& text, std::string_view pattern, int first, int last);
void replace_in_string(Text& text, std::string_view old_text, std::string_view new_text,
                       int first, int last);
// As replace_in_string; returns K - first + 1 (> 0) after replacing at K and moves first
// past the inserted text; returns 0 when nothing was replaced.
int replace_in_str(Text& text, std::string_view old_text, std::string_view new_text, int& first,
                   int last);
void replall_in_string(Text& text, std::string_view old_text, std::string_view new_text,
                       int& first, int last);

}  // namespace kvax
