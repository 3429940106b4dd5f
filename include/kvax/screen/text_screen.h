// The text-screen layer: the console interface of the opener's dialogue, laid out for a
// full-screen text terminal and worked here line by line on standard input and output.
// Positioning does nothing, the screen queries report that there is no text screen, and
// a prompt is written without a line end, answered with one line read from standard
// input (blank-padded or cut to the answer's field) and followed by a line of one blank.
//
// Every text is written up to its trimmed length. An end of standard input while a
// prompt waits is the record layer's fatal report, never a blank answer.
#pragma once

#include <string_view>

#include <kvax/text/text.h>

namespace kvax {

// No text screen: rows and columns (row and column of the cursor) are -1.
void is_text_mode(int& rows, int& columns);
void get_cursor(int& row, int& column);

// Positioning and attributes: nothing to do; result 0.
int crlf();
int home();
int clear_text();
int locate(int row, int column);
int set_active_attribute(int attribute);
int shut_text();

// A mode above 0 writes "<TexMod>E> Not implemented" (list-directed); result 0.
int text_mode(int mode);
// Writes "<TexPau>E> Not implemented" (list-directed); result 0.
int text_pause();

// " <WriStr>>> " and the trimmed text as one line; result the trimmed length.
int write_string(std::string_view text);
// As write_string; the position is not used.
void place_string_at(int row, int column, std::string_view text);

// The trimmed prompt, then the answer read over the field.
void screen_prompt(std::string_view prompt, Text& answer);
// The trimmed prompt, a blank and the trimmed current answer, then the new answer read
// over it (an empty line leaves it blank).
void screen_prompt_edit(std::string_view prompt, Text& answer);
// The trimmed text, then the new text read over it.
void edit_string_c(Text& text);
// "ENTER>", then the text read.
void read_string_c(Text& text);

// The line "NOP".
void dbg_edit_string_c();
// A line of one blank; result 0.
int new_text_surface();

}  // namespace kvax
