// String toolkit: finders, searches, case and cleaning, deletion and replacement.
#include <kvax/text/strings.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvax {
namespace {

using namespace std::string_literals;

// A ";" after the text makes trailing blanks visible in failures.
std::string shown(std::string_view s) { return std::string(s) + ";"; }

TEST(StringFinders, LastAndFirstNonblankAndDecent) {
  struct Row {
    int line;
    std::string text;
    int last_nonblank, first_nonblank, last_decent;
  } rows[] = {
      {__LINE__, "    ", 0, 0, 0},
      {__LINE__, "", 0, 0, 0},
      {__LINE__, "ab\t", 2, 1, 2},
      {__LINE__, "\tab", 3, 2, 3},
      {__LINE__, "ab\xC8  ", 3, 1, 2},
      {__LINE__, "abc\xC8  ", 4, 1, 3},
      {__LINE__, "\x7F\x01", 1, 1, 1},
      {__LINE__, "\x01\x02", 0, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(index_l_nonblank(r.text), r.last_nonblank);
    EXPECT_EQ(index_1_nonblank(r.text), r.first_nonblank);
    EXPECT_EQ(index_l_decent(r.text), r.last_decent);
  }
}

TEST(StringFinders, InstrAndIndexL) {
  struct Row {
    int line;
    std::string text, pattern;
    int start, instr_pos, last_pos;
  } rows[] = {
      {__LINE__, "a.b.c", ".", 1, 2, 4},
      {__LINE__, "a.b.c", ".", 3, 4, 4},
      {__LINE__, "a.b.c", ".", 0, 2, 4},
      {__LINE__, "a.b.c", ".", 5, 0, 4},
      {__LINE__, "a.b.c", ".", 99, 0, 4},
      {__LINE__, "a.b.c", "", 1, 0, 0},
      // index_l trims the pattern; an all-blank pattern stands for itself and is found
      // first after the trimmed end of the text.
      {__LINE__, "abcabc  ", "bc ", 1, 5, 5},
      {__LINE__, "ab   ", " ", 1, 3, 3},
      {__LINE__, "x", "abc", 1, 0, 0},
      {__LINE__, "", "a", 1, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(instr(r.start, r.text, r.pattern), r.instr_pos);
    EXPECT_EQ(index_l(r.text, r.pattern), r.last_pos);
  }
}

TEST(StringFinders, LengthSKposWordLoccar) {
  struct LenRow {
    int line;
    std::string text, terminators;
    int want;
  } len_rows[] = {
      {__LINE__, "dir/sub/file.dat", "/", 7},
      {__LINE__, "a.b/c  ", "./", 3},
      {__LINE__, "file  ", "/", 4},
      {__LINE__, "/file ", "/", 5},
      {__LINE__, "abc", "", 3},
  };
  for (const LenRow& r : len_rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(length_s(r.text, r.terminators), r.want);
  }

  struct WordRow {
    int line;
    std::string text;
    int n, want;
  } word_rows[] = {
      {__LINE__, "  ab  cd", 2, 7}, {__LINE__, "  ab  cd", 3, 0}, {__LINE__, "  ab  cd", 1, 3},
      {__LINE__, "  ab  ", 2, 0},   {__LINE__, "\tab cd", 2, 5},  {__LINE__, "ab", 0, 0},
      {__LINE__, "    ", 1, 0},     {__LINE__, "", 1, 0},
  };
  for (const WordRow& r : word_rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(kpos_word(r.text, r.n), r.want);
  }

  const std::vector<Text> names = {"alpha", "beta", "al"};
  EXPECT_EQ(loccar(names, 3, "al"), 1);
  EXPECT_EQ(loccar(names, 3, "be"), 2);
  EXPECT_EQ(loccar(names, 3, "alphabet"), 0);
  EXPECT_EQ(loccar(names, 1, "be"), 0);
  EXPECT_EQ(loccar(names, 10, "be"), 2);
  EXPECT_EQ(loccar(names, -1, "al"), 0);
}

TEST(StringFinders, ValueEndByFirstListedOrEarliestTerminator) {
  struct Row {
    int line;
    std::string text, terminators;
    int start, first_listed, earliest;
  } rows[] = {
      {__LINE__, "a=1,2;3", ";,", 3, 5, 3},
      {__LINE__, "a=1,2;3", ",;", 3, 3, 3},
      {__LINE__, "x=12, y=3", ", ", 3, 4, 4},
      {__LINE__, "x=12 y=3", ", ", 3, 4, 4},  // a blank of the field is a terminator
      {__LINE__, "abc", ";", 1, 3, 3},          // none: the declared end
      {__LINE__, "abc  ", ";", 1, 5, 5},
      {__LINE__, "ab;", ";", 3, 2, 2},          // empty value: start - 1
      {__LINE__, "ab;", ";", 4, 3, 3},          // past the end
      {__LINE__, "$HOME.f/x", "./$- ", 2, 5, 5},
      {__LINE__, "a;b", "", 1, 3, 3},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(value_end(r.text, r.start, r.terminators, false), r.first_listed);
    EXPECT_EQ(value_end(r.text, r.start, r.terminators, true), r.earliest);
  }
}

TEST(StringSearches, QuIndexCaseFallbackWindows) {
  const std::string long_key(33, 'K');
  struct Row {
    int line;
    std::string text, pattern;
    bool fallback, found;
    int pos;
  } rows[] = {
      {__LINE__, "a set of", "SET", true, true, 3},
      {__LINE__, "a set of", "SET", false, false, 0},
      {__LINE__, "a set of", "set", false, true, 3},
      {__LINE__, "a set of", "Set", true, false, 0},  // the pattern is not raised
      {__LINE__, "ab", "ABC", true, false, 0},
      // An empty pattern is found at once, as INDEX finds it, also in an empty text.
      {__LINE__, "abc", "", true, true, 1},
      {__LINE__, "abc", "", false, true, 1},
      {__LINE__, "", "", false, true, 1},
      // A key straddling the first window's end lies whole in the next one.
      {__LINE__, std::string(30, 'x') + "key" + std::string(7, 'x'), "KEY", true, true, 31},
      {__LINE__, std::string(70, '.') + "key", "KEY", true, true, 71},
      // Only the first 32 characters of a key count without regard to case.
      {__LINE__, std::string("<").append(32, 'k').append("x>"), long_key, true, true, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    int pos = -1;
    EXPECT_EQ(qu_index(r.text, r.pattern, pos, r.fallback), r.found);
    EXPECT_EQ(pos, r.pos);
  }
}

TEST(StringSearches, CharacterSets) {
  int index = -1, pos = -1;
  EXPECT_TRUE(qor_index("a/b.c", "./", index));
  EXPECT_EQ(index, 1);  // "." is tried first though "/" comes earlier in the text
  EXPECT_TRUE(ql_index("a/b.c", "./", pos));
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(ior_index("a/b.c", "x/", index), 2);
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(qor_index("abc", "xyz", index));
  EXPECT_EQ(index, 0);
  EXPECT_FALSE(ql_index("abc", "", pos));
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(ior_index("", "a", index), 0);
}

TEST(StringSearches, QuchInAndQucss) {
  struct ChRow {
    int line;
    std::string word, list;
    bool found;
    int pos;
  } ch_rows[] = {
      {__LINE__, "abc", "XXABCX", true, 3},
      {__LINE__, "", "xyz", true, 0},
      {__LINE__, "\t", "xyz", true, 0},
      {__LINE__, "abcd", "abc", false, 0},
      {__LINE__, "MP", "CMPX", true, 2},
      {__LINE__, "zz", "CMPX", false, 0},
      {__LINE__, std::string(32, 'a') + "Q", std::string(32, 'A') + "Z", true, 1},
  };
  for (const ChRow& r : ch_rows) {
    SCOPED_TRACE(r.line);
    int pos = -1;
    EXPECT_EQ(quch_in(r.word, r.list, pos), r.found);
    EXPECT_EQ(pos, r.pos);
  }

  struct CssRow {
    int line;
    std::string text, list;
    bool found;
    int first, last, list_pos;
  } css_rows[] = {
      {__LINE__, "REAL|DBLE", "DBLE", true, 6, 9, 1},
      {__LINE__, "cmpx", "CMPX", true, 1, 4, 1},
      {__LINE__, "REAL|DBLE  ", "FLAG", false, 10, 9, 0},
      // An empty item runs to the end of the text and ends the test.
      {__LINE__, "|CMPX", "CMPX", false, 6, 5, 0},
      {__LINE__, "REAL||CMPX", "CMPX", false, 11, 10, 0},
      {__LINE__, "    ", "CMPX", false, 1, 0, 0},
  };
  for (const CssRow& r : css_rows) {
    SCOPED_TRACE(r.line);
    int first = -1, last = -1, list_pos = -1;
    EXPECT_EQ(qucss(r.text, r.list, "|", first, last, list_pos), r.found);
    EXPECT_EQ(first, r.first);
    EXPECT_EQ(last, r.last);
    EXPECT_EQ(list_pos, r.list_pos);
  }
}

TEST(StringCase, UcaseLcaseAndMakeDecent) {
  Text out = text("........", 8);
  ucase("ab\xE4z", out);
  EXPECT_EQ(shown(out), "AB\xE4Z....;");
  Text same = "MiXeD 1";
  lcase(same, same);
  EXPECT_EQ(same, "mixed 1");
  Text shorter = "xy";
  ucase("abcdef", shorter);
  EXPECT_EQ(shorter, "AB");

  struct Row {
    int line;
    std::string text;
    char replacement;
    int result;
    std::string after;
  } rows[] = {
      {__LINE__, "ab\x01" "c\xC8  ", '?', 2, "ab?c?  "},
      {__LINE__, "ab\x01" "c\xC8  ", '\x1F', 2, "ab\x01" "c\xC8  "},  // no replacement below 32
      {__LINE__, "abc\t ", '?', 3, "abc\t "},                          // past the trimmed end
      {__LINE__, "    ", '?', 0, "    "},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text t = r.text;
    EXPECT_EQ(make_decent(t, r.replacement), r.result);
    EXPECT_EQ(shown(t), shown(r.after));
  }
}

TEST(StringDelete, FirstAndLastOccurrence) {
  struct Row {
    int line;
    bool last_occurrence;
    std::string text, pattern;
    int first, last;
    std::string after;
  } rows[] = {
      {__LINE__, false, "a-b-c", "-", 0, 0, "ab-c "},
      {__LINE__, true, "a-b-c", "-", 0, 0, "a-bc "},
      {__LINE__, false, "a-b-c-d", "-", 1, 3, "ab -c-d"},  // beyond last untouched
      {__LINE__, true, "x.x.x.x", ".", 1, 5, "x.xx .x"},
      {__LINE__, false, "a-b-c", "-", 3, 0, "a-bc "},
      {__LINE__, false, "a-b", "-", -5, 0, "ab "},
      {__LINE__, false, "a-b", "-", 3, 2, "a-b"},
      {__LINE__, false, "a-b", "-", 1, 99, "ab "},
      // Found at the declared length, "b " deletes only its trimmed "b".
      {__LINE__, false, "ab cd", "b ", 0, 0, "a cd "},
      {__LINE__, false, "abcd", "b ", 0, 0, "abcd"},
      {__LINE__, false, "a  b", "  ", 0, 0, "a b "},
      {__LINE__, false, "abc", "", 0, 0, "abc"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text t = r.text;
    if (r.last_occurrence)
      delete_l_in_string(t, r.pattern, r.first, r.last);
    else
      delete_1_in_string(t, r.pattern, r.first, r.last);
    EXPECT_EQ(shown(t), shown(r.after));
  }
}

TEST(StringDelete, EveryOccurrence) {
  struct Row {
    int line;
    std::string text, pattern;
    int first, last;
    std::string after;
  } rows[] = {
      {__LINE__, "a   b  c", "  ", 1, 0, "a b c   "},
      {__LINE__, "a b c", " ", 1, 0, "abc  "},
      {__LINE__, "$X/a$X", "$X", 1, 0, "/a    "},
      {__LINE__, "a$X", "$X", 2, 0, "a  "},
      {__LINE__, "$X/a$X", "$X", 3, 0, "$X/a  "},
      // Text past last closes up; nothing beyond the range is lost.
      {__LINE__, "a-b-c|x-y", "-", 1, 5, "abc|x-y  "},
      {__LINE__, "ab-c", "-", 1, 3, "abc "},
      // An occurrence before first stays, also when it ends the range.
      {__LINE__, "ab-", "-", 4, 0, "ab-"},
      {__LINE__, "abc", "", 1, 0, "abc"},
      {__LINE__, "    ", "  ", 1, 0, "    "},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text t = r.text;
    delete_in_string(t, r.pattern, r.first, r.last);
    EXPECT_EQ(shown(t), shown(r.after));
  }
}

TEST(StringReplace, FirstOccurrenceInRange) {
  struct Row {
    int line;
    std::string text, old_text, new_text;
    int first, last;
    std::string after;
  } rows[] = {
      {__LINE__, "/x/y      ", "/x", "/home/u", 1, 0, "/home/u/y "},
      {__LINE__, "abcdefghij", "b", "XYZ", 1, 0, "aXYZcdefgh"},  // growth drops the end
      {__LINE__, "a-b-c", "-", "+", 3, 0, "a-b+c"},
      {__LINE__, "a-b", "-", "+", 1, 1, "a-b"},
      {__LINE__, "a-b", "x", "+", 1, 0, "a-b"},
      {__LINE__, "a  b", "  ", "-", 1, 0, "a-b "},  // an all-blank old text stands for itself
      {__LINE__, "a-b", "-", " ", 1, 0, "a b"},
      {__LINE__, "a-b", "-", "", 1, 0, "ab "},
      {__LINE__, "a-b", "-  ", "+  ", 1, 0, "a+b"},  // both trimmed
      {__LINE__, "a-b", "", "+", 1, 0, "a-b"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text t = r.text;
    replace_in_string(t, r.old_text, r.new_text, r.first, r.last);
    EXPECT_EQ(shown(t), shown(r.after));
  }
}

TEST(StringReplace, WorkingFieldsCutLongTexts) {
  // The prefix and new text are cut at 2048 characters, the whole result at 3072.
  Text t = text(std::string(2100, 'a') + "B" + std::string(1000, 'c'), 4000);
  replace_in_string(t, "B", "NEW", 1, 0);
  EXPECT_EQ(t, text(std::string(2048, 'a') + std::string(1000, 'c'), 4000));

  Text u = text(std::string("B").append(3500, 'c'), 4000);
  replace_in_string(u, "B", "NEW", 1, 0);
  EXPECT_EQ(u, text("NEW" + std::string(3069, 'c'), 4000));
}

TEST(StringReplace, RepeatedReplacementResumesAfterInsertedText) {
  Text t = text("a-b-c", 8);
  int first = 3;
  EXPECT_EQ(replace_in_str(t, "-", "+", first, 0), 2);
  EXPECT_EQ(first, 5);
  EXPECT_EQ(replace_in_str(t, "-", "+", first, 0), 0);
  EXPECT_EQ(first, 5);

  struct Row {
    int line;
    std::string text, old_text, new_text;
    int last;
    std::string after;
  } rows[] = {
      {__LINE__, text("a.b.c", 12), ".", "..", 0, "a..b..c     "},  // inserted text not rescanned
      {__LINE__, "a..b", ".", "", 0, "ab  "},                         // nothing skipped
      {__LINE__, "a    ", "  ", "", 5, "a    "},                      // blanks past the end: no progress
      {__LINE__, "x-y-z", "-", "=", 0, "x=y=z"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text s = r.text;
    int f = 1;
    replall_in_string(s, r.old_text, r.new_text, f, r.last);
    EXPECT_EQ(shown(s), shown(r.after));
  }
}

// Every in/out operation on odd bytes, lengths and positions keeps the declared length
// and returns positions inside the field.
TEST(StringBounds, AnyBytesLengthsAndPositions) {
  const std::vector<std::string> texts = {"", " ", "a", "a$b ", "\xFF\0 x"s, "  a  b  ", "xxxxxxxx"};
  const std::vector<std::string> patterns = {"", " ", "  ", "a", "\0"s, "xyz", "b  ", "xxxxxxxxxx"};
  const int positions[] = {-3, 0, 1, 2, 5, 100};
  for (const std::string& s : texts) {
    for (const std::string& p : patterns) {
      SCOPED_TRACE(shown(s) + " / " + shown(p));
      const int n = static_cast<int>(s.size());
      int pos = 0, a = 0, b = 0, c = 0;
      EXPECT_LE(index_l(s, p), n);
      EXPECT_LE(length_s(s, p), n);
      qu_index(s, p, pos, true);
      EXPECT_LE(pos, p.empty() ? 1 : n);  // an empty pattern is found at 1, also in an empty text
      qucss(s, p, p, a, b, c);
      EXPECT_LE(b, n);
      for (int first : positions) {
        EXPECT_LE(instr(first, s, p), n);
        for (int last : positions) {
          Text t1 = s, t2 = s, t3 = s, t4 = s, t5 = s;
          delete_1_in_string(t1, p, first, last);
          delete_l_in_string(t2, p, first, last);
          delete_in_string(t3, p, first, last);
          replace_in_string(t4, p, "NEW", first, last);
          int f = first;
          replall_in_string(t5, p, "xx", f, last);
          EXPECT_EQ(t1.size(), s.size());
          EXPECT_EQ(t2.size(), s.size());
          EXPECT_EQ(t3.size(), s.size());
          EXPECT_EQ(t4.size(), s.size());
          EXPECT_EQ(t5.size(), s.size());
        }
      }
    }
  }
}

}  // namespace
}  // namespace kvax
