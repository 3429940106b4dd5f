// The text-screen layer: what each operation writes, what it reads into the answer's
// field, and the end of input while a prompt waits.
#include <kvax/screen/text_screen.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <kvax/io/iostat.h>
#include <kvax/io/units.h>

#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;

TEST(TextScreen, OperationsLineByLine) {
  // Each row runs one operation on standard input `in`; `result` is its answer field
  // (between bars, to show the blanks) or its integer result.
  struct Row {
    int line;
    std::function<std::string()> op;
    std::string in, out, result;
  } rows[] = {
      {__LINE__, [] { return std::to_string(write_string("  a text  ")); }, "", " <WriStr>>>   a text\n", "8"},
      {__LINE__, [] { return std::to_string(write_string("   ")); }, "", " <WriStr>>> \n", "0"},
      {__LINE__, [] { place_string_at(3, 4, "at 3,4  "); return std::string(); }, "", " <WriStr>>> at 3,4\n", ""},
      {__LINE__, [] { return std::to_string(text_mode(1)); }, "", " <TexMod>E> Not implemented\n", "0"},
      {__LINE__, [] { return std::to_string(text_mode(0) + text_mode(-3)); }, "", "", "0"},
      {__LINE__, [] { return std::to_string(text_pause()); }, "", " <TexPau>E> Not implemented\n", "0"},
      {__LINE__, [] { return std::to_string(new_text_surface()); }, "", " \n", "0"},
      {__LINE__, [] { dbg_edit_string_c(); return std::string(); }, "", "NOP\n", ""},
      {__LINE__,
       [] {
         return std::to_string(crlf() + home() + clear_text() + locate(2, 3) + set_active_attribute(7) + shut_text());
       },
       "", "", "0"},
      {__LINE__,
       [] {
         int a = 0, b = 0, c = 0, d = 0;
         is_text_mode(a, b);
         get_cursor(c, d);
         return std::to_string(a) + std::to_string(b) + std::to_string(c) + std::to_string(d);
       },
       "", "", "-1-1-1-1"},
      // Prompts: written without a line end, one line read, a line of one blank.
      {__LINE__, [] { Text t(8, '#'); screen_prompt("Name?  ", t); return "|" + t + "|"; }, "a.dat\n", "Name? \n",
       "|a.dat   |"},
      {__LINE__, [] { Text t(4, '#'); screen_prompt("Name?", t); return "|" + t + "|"; }, "0123456789\nnext\n",
       "Name? \n", "|0123|"},
      {__LINE__, [] { Text t(4, '#'); screen_prompt("Name?", t); return "|" + t + "|"; }, "\n", "Name? \n", "|    |"},
      // The shown value is no default: an empty line leaves the answer blank.
      {__LINE__, [] { Text t = text("a.dat", 8); screen_prompt_edit("Name?", t); return "|" + t + "|"; }, "\n",
       "Name? a.dat \n", "|        |"},
      {__LINE__, [] { Text t = text("a.dat", 8); screen_prompt_edit("Name? ", t); return "|" + t + "|"; }, "b\n",
       "Name? a.dat \n", "|b       |"},
      {__LINE__, [] { Text t = text("old", 6); edit_string_c(t); return "|" + t + "|"; }, "new one\n", "old \n",
       "|new on|"},
      {__LINE__, [] { Text t(6, '#'); read_string_c(t); return "|" + t + "|"; }, "typed\n", "ENTER> \n", "|typed |"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    feed_standard_input(r.in);
    EXPECT_EQ(r.op(), r.result);
    EXPECT_EQ(out.text(), r.out);
  }
  feed_standard_input("");
}

TEST(TextScreen, EndOfInputWhileAPromptWaitsIsTheFatalReport) {
  for (const std::function<void()>& op : std::initializer_list<std::function<void()>>{
           [] { Text t(8, ' '); screen_prompt("Name?", t); },
           [] { Text t(8, ' '); screen_prompt_edit("Name?", t); },
           [] { Text t(8, ' '); edit_string_c(t); },
           [] { Text t(8, ' '); read_string_c(t); },
       }) {
    CapturedOutput out;
    feed_standard_input("");
    try {
      op();
      ADD_FAILURE() << "no fatal report";
    } catch (const FatalIo& e) {
      EXPECT_EQ(e.status(), 255);
      EXPECT_EQ(e.code(), iostat::read_past_eof);
    }
  }
}

}  // namespace
}  // namespace kvax
