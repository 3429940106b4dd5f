// Word scanning: next_word step by step with its program-wide counter, nth_word, and
// split_into_words with empty words, separators at the end and its two message lines.
#include <kvax/scan/words.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace kvax {
namespace {

using test::CapturedOutput;

std::string shown(std::string_view s) { return std::string(s) + ";"; }

TEST(Words, NextWordStepByStep) {
  struct Step {
    int result;
    std::string word;
    int length, pos;
  };
  struct Row {
    int line;
    std::string text, separator;
    std::vector<Step> steps;
  } rows[] = {
      {__LINE__, "a,,b", ",", {{1, "a", 1, 2}, {2, "", 0, 3}, {0, "b", 1, 5}, {-1, "", 0, 0}}},
      // The separator at its trimmed length; an all-blank one is one blank.
      {__LINE__, "ab cd   ", "   ", {{1, "ab", 2, 3}, {0, "cd", 2, 6}, {-1, "", 0, 0}}},
      {__LINE__, "a, b,c", ", ", {{1, "a", 1, 2}, {2, " b", 2, 5}, {0, "c", 1, 7}}},
      // pos is left on the last character of a longer separator.
      {__LINE__, "a::b", "::", {{1, "a", 1, 3}, {0, "b", 1, 5}}},
      {__LINE__, "a,", ",", {{1, "a", 1, 2}, {0, "", 0, 3}, {-1, "", 0, 0}}},
      {__LINE__, "   ", ",", {{0, "", 0, 1}, {-1, "", 0, 0}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text word = text("old", 4);
    int pos = 0, length = -1;
    for (const Step& s : r.steps) {
      EXPECT_EQ(next_word(r.text, r.separator, word, pos, length), s.result);
      EXPECT_EQ(shown(word), shown(text(s.word, 4)));
      EXPECT_EQ(length, s.length);
      EXPECT_EQ(pos, s.pos);
    }
  }
}

TEST(Words, OneCounterForInterleavedScans) {
  Text word(4, ' ');
  int a = 0, b = 0, length = 0;
  EXPECT_EQ(next_word("a,b,c", ",", word, a, length), 1);
  EXPECT_EQ(next_word("x;y;z", ";", word, b, length), 1);  // a new scan restarts the count
  EXPECT_EQ(next_word("a,b,c", ",", word, a, length), 2);
  EXPECT_EQ(word, "b   ");
  EXPECT_EQ(next_word("x;y;z", ";", word, b, length), 3);  // ... which both scans share
  EXPECT_EQ(word, "y   ");
}

TEST(Words, NthWord) {
  struct Row {
    int line;
    int n;
    std::string text;
    int result;
    std::string word;
    int pos;
  } rows[] = {
      {__LINE__, 1, "a,b,c", 1, "a", 2},
      {__LINE__, 2, "a,b,c", 2, "b", 4},
      {__LINE__, 3, "a,b,c", 3, "c", 0},  // the last word: the scan ended, pos back to 0
      {__LINE__, 5, "a,b,c", 5, "c", 0},  // fewer words: the last one
      {__LINE__, -1, "a,b,c", 1, "a", 2},
      {__LINE__, -1, "abc", -1, "abc", 4},
      {__LINE__, 2, "   ", 2, "", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text word(4, ' ');
    int pos = 99, length = 0;
    EXPECT_EQ(nth_word(r.n, r.text, ",", word, pos, length), r.result);
    EXPECT_EQ(shown(word), shown(text(r.word, 4)));
    EXPECT_EQ(pos, r.pos);
  }
}

TEST(Words, SplitIntoWords) {
  const std::string exhausted = " <SpWord>E> String exhausted. k, length = ";
  struct Row {
    int line;
    std::string text, separator;
    bool keep_empty;
    std::size_t elements;
    std::vector<std::string> words;
    std::string lines;
  } rows[] = {
      {__LINE__, "a,b,c,d", ",", false, 8, {"a", "b", "c", "d"}, ""},
      {__LINE__, "a,,b", ",", false, 8, {"a", "b"}, ""},
      {__LINE__, "a,,b", ",", true, 8, {"a", "", "b"}, ""},
      {__LINE__, "a,b,", ",", true, 8, {"a", "b"}, ""},
      {__LINE__, "      ", ",", true, 8, {}, ""},
      {__LINE__, "one  ", ",", false, 8, {"one"}, ""},
      {__LINE__, ",a", ",", false, 8, {"", "a"}, ""},  // word 1 even when empty
      {__LINE__, "a, b,c", ", ", false, 8, {"a", "b,c"}, ""},
      {__LINE__, "a b   ", " ", false, 8, {"a", "b"}, ""},
      // A separator that runs on into the blanks after the text ends the last word.
      {__LINE__, "a; b;  ", "; ", false, 8, {"a", "b"}, ""},
      {__LINE__, "longword,x", ",", false, 8, {"longw", "x"}, ""},
      // The field ends inside a separator: the rest is kept and the scan says so.
      {__LINE__, "a; b;", "; ", false, 8, {"a", "b;"},
       exhausted + "           5           5\n"},
      {__LINE__, "ab::c:", ":::", false, 8, {"ab::c:"}, exhausted + "           6           6\n"},
      // More words than elements: as many as fit.
      {__LINE__, "a,b,c", ",", false, 2, {"a", "b"},
       " <SpWord>E> More words than elements; words kept:           2\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    std::vector<Text> words(r.elements, text("old", 5));
    int count = -1;
    split_into_words(r.text, r.separator, r.keep_empty, words, count);
    ASSERT_EQ(count, static_cast<int>(r.words.size()));
    for (std::size_t i = 0; i < r.words.size(); ++i) EXPECT_EQ(shown(words[i]), shown(text(r.words[i], 5)));
    for (std::size_t i = r.words.size(); i < words.size(); ++i) EXPECT_EQ(words[i], "old  ");
    EXPECT_EQ(out.text(), r.lines);
  }
}

}  // namespace
}  // namespace kvax
