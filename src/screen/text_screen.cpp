// The text-screen layer on standard input and output, through the record layer.
#include <kvax/screen/text_screen.h>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

namespace kvax {
namespace {

// The line that ends every prompt, after its answer was read.
void end_prompt() { write_fmt(6, "(A)", " "); }

// An answer line over the field; no end branch: an end of input is the fatal report.
void read_answer(Text& answer) { read_fmt(5, want_none, "(A)", answer); }

}  // namespace

void is_text_mode(int& rows, int& columns) { rows = columns = -1; }

void get_cursor(int& row, int& column) { row = column = -1; }

int crlf() { return 0; }

int home() { return 0; }

int clear_text() { return 0; }

int locate(int, int) { return 0; }

int set_active_attribute(int) { return 0; }

int shut_text() { return 0; }

int text_mode(int mode) {
  if (mode > 0) write_list(6, "<TexMod>E> Not implemented");
  return 0;
}

int text_pause() {
  write_list(6, "<TexPau>E> Not implemented");
  return 0;
}

int write_string(std::string_view text) {
  write_fmt(6, "(2A)", " <WriStr>>> ", trimmed(text));
  return trim_len(text);
}

void place_string_at(int, int, std::string_view text) { write_string(text); }

void screen_prompt(std::string_view prompt, Text& answer) {
  write_fmt(6, "(A,$)", trimmed(prompt));
  read_answer(answer);
  end_prompt();
}

void screen_prompt_edit(std::string_view prompt, Text& answer) {
  write_fmt(6, "(A,1X,A,$)", trimmed(prompt), trimmed(answer));
  read_answer(answer);
  end_prompt();
}

void edit_string_c(Text& text) {
  write_fmt(6, "(A,$)", trimmed(text));
  read_answer(text);
  end_prompt();
}

void read_string_c(Text& text) {
  write_fmt(6, "(A,$)", "ENTER>");
  read_answer(text);
  end_prompt();
}

void dbg_edit_string_c() { write_fmt(6, "(A)", "NOP"); }

int new_text_surface() {
  write_fmt(6, "(A)", " ");
  return 0;
}

}  // namespace kvax
