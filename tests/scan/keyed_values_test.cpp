// Values after key words: the terminator that decides, the typed readers' defaults and
// ok flags, and the delimiter, sign and exponent rules of qd_substring.
#include <kvax/scan/keyed_values.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace kvax {
namespace {

std::string shown(std::string_view s) { return std::string(s) + ";"; }

TEST(KeyedValues, ValueAfterTheKey) {
  struct Row {
    int line;
    bool upper_fallback;
    std::string text, key, terminators;
    int length_in;
    std::size_t field;
    bool found;
    std::string value;
    int pos, length;
  } rows[] = {
      {__LINE__, false, "x=12, y=3", "y=", ", ", 0, 8, true, "3", 9, 1},
      {__LINE__, false, "x=12, y=3", "^", ", ", 0, 8, true, "x=12", 1, 4},
      {__LINE__, false, "x=12, y=3", "^  ", ", ", 0, 8, true, "x=12", 1, 4},
      // The first-listed terminator that occurs decides, or with -9999 the earliest.
      {__LINE__, false, "a=1,2;3", "a=", ";,", 0, 8, true, "1,2", 3, 3},
      {__LINE__, false, "a=1,2;3", "a=", ";,", earliest_terminator, 8, true, "1", 3, 1},
      {__LINE__, false, "a=1,2;3", "a=", "", 0, 8, true, "1,2;3", 3, 5},
      // The key at its declared length, trailing blanks included.
      {__LINE__, false, "x=1 y= 3", "y= ", ", ", 0, 8, true, "3", 8, 1},
      // Empty values and values longer than the field.
      {__LINE__, false, "k=,x", "k=", ",", 0, 8, true, "", 3, 0},
      {__LINE__, false, "name=abcdef", "name=", " ", 0, 3, true, "abc", 6, 3},
      {__LINE__, false, "k=", "k=", " ", 0, 4, true, "", 3, 0},
      // A missing key leaves value, position and length as they were.
      {__LINE__, false, "x=12", "y=", " ", 77, 4, false, "old", -5, 77},
      {__LINE__, false, "x=12", "", " ", 77, 4, false, "old", -5, 77},
      // The case fallback finds an upper-case key in lower-case text.
      {__LINE__, false, "a set=5", "SET=", " ", 0, 4, false, "old", -5, 0},
      {__LINE__, true, "a set=5", "SET=", " ", 0, 4, true, "5", 7, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text value = text("old", r.field);
    int pos = -5, length = r.length_in;
    const bool found = r.upper_fallback ? qu_substring(r.text, r.key, r.terminators, value, pos, length)
                                        : q_substring(r.text, r.key, r.terminators, value, pos, length);
    EXPECT_EQ(found, r.found);
    EXPECT_EQ(shown(value), shown(text(r.value, r.field)));
    EXPECT_EQ(pos, r.pos);
    EXPECT_EQ(length, r.length);
  }
}

TEST(KeyedValues, TypedReadersGiveTheDefaultUnlessANumberIsRead) {
  struct Row {
    int line;
    std::string text, key;
    double d;
    bool d_ok;
    int i;
    bool i_ok;
  } rows[] = {
      {__LINE__, "w=2.5", "v=", -1, false, -1, false},
      {__LINE__, "v=abc", "v=", -1, false, -1, false},
      {__LINE__, "v=2.5", "v=", 2.5, true, -1, false},
      {__LINE__, "v=    ", "v=", -1, true, -1, true},
      {__LINE__, "v=", "v=", -1, true, -1, true},
      {__LINE__, "v=42 x=1", "v=", 42, true, 42, true},
      {__LINE__, "v=-7,", "v=", -7, true, -7, true},
      {__LINE__, "v=1d3", "v=", 1000, true, -1, false},
      {__LINE__, "x=1 v=2e-1", "v=", 0.2, true, -1, false},
      // The number as it stands in the text, not as the short value field holds it.
      {__LINE__, "v=1234567", "v=", 1234567, true, 1234567, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text value(4, ' ');
    int pos = 0, length = 0;
    bool ok = false;
    EXPECT_EQ(d_substring(r.text, -1.0, r.key, " ", value, pos, length, ok), r.d);
    EXPECT_EQ(ok, r.d_ok);
    EXPECT_EQ(r_substring(r.text, -1.0f, r.key, " ", value, pos, length, ok), static_cast<float>(r.d));
    EXPECT_EQ(ok, r.d_ok);
    EXPECT_EQ(i_substring(r.text, -1, r.key, " ", value, pos, length, ok), r.i);
    EXPECT_EQ(ok, r.i_ok);
  }
}

TEST(KeyedValues, NumberAfterDelimitersUpToASignOrDelimiter) {
  struct Row {
    int line;
    std::string text, key, terminators;
    bool read;
    std::string value;
    int skip, pos, length;
    double number;
  } rows[] = {
      {__LINE__, "x=2.5", "x=", " ", true, "2.5", 0, 3, 3, 2.5},
      // Delimiters after the key are skipped and stay at the front of the value.
      {__LINE__, "x=:;2.5,9", "x=", " ", true, ":;2.5", 2, 3, 5, 2.5},
      {__LINE__, "x=(4)", "x=", " ", true, "(4", 1, 3, 2, 4},
      // A sign ends the number unless it follows an exponent letter; a leading one stays.
      {__LINE__, "x=1.5e-3+2", "x=", " ", true, "1.5e-3", 0, 3, 6, 1.5e-3},
      {__LINE__, "x=-4+5", "x=", " ", true, "-4", 0, 3, 2, -4},
      {__LINE__, "x=3D+2-1", "x=", " ", true, "3D+2", 0, 3, 4, 300},
      // "&" and "^" are exponent markers.
      {__LINE__, "x=2&3", "x=", " ", true, "2d3", 0, 3, 3, 2000},
      {__LINE__, "x=2^3", "x=", " ", true, "2d3", 0, 3, 3, 2000},
      {__LINE__, "x=2&-1;", "x=", " ", true, "2d-1", 0, 3, 4, 0.2},
      // The caller's terminators come first; the pound and euro bytes end a number.
      {__LINE__, "x=7|8", "x=", "|", true, "7", 0, 3, 1, 7},
      {__LINE__, "x=7\xC2\xA3", "x=", " ", true, "7", 0, 3, 1, 7},
      {__LINE__, "x=7\xE2\x82\xAC", "x=", " ", true, "7", 0, 3, 1, 7},
      // Nothing readable: false, the length is the value's trimmed length.
      {__LINE__, "x=abc", "x=", " ", false, "abc", 0, 3, 3, -1},
      {__LINE__, "x=;;", "x=", " ", false, ";;", 2, 3, 2, -1},
      {__LINE__, "x=", "x=", " ", false, "", 0, 3, 0, -1},
      // A missing key starts the scan at its trimmed length, never before the text.
      {__LINE__, "12", "zzzz", " ", false, "", 0, 4, 0, -1},
      {__LINE__, "12", "  ", " ", true, "12", 0, 1, 2, 12},
      // The value field holds what fits; the number is read whole.
      {__LINE__, "x=1234567890123.5", "x=", " ", true, "123456789012", 0, 3, 15, 1234567890123.5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    Text value(12, ' ');
    int skip = -1, pos = -1, length = -1;
    double number = -1;
    EXPECT_EQ(qd_substring(r.text, r.key, r.terminators, value, skip, pos, length, number), r.read);
    EXPECT_EQ(shown(trimmed(value)), shown(r.value));
    EXPECT_EQ(skip, r.skip);
    EXPECT_EQ(pos, r.pos);
    EXPECT_EQ(length, r.length);
    EXPECT_DOUBLE_EQ(number, r.number);
    float single = -1;
    EXPECT_EQ(qr_substring(r.text, r.key, r.terminators, value, skip, pos, length, single), r.read);
    EXPECT_EQ(single, static_cast<float>(r.number));
  }
  // Beyond single precision the number is an infinity.
  Text value(12, ' ');
  int skip = 0, pos = 0, length = 0;
  float single = 0;
  EXPECT_TRUE(qr_substring("x=-1e300", "x=", " ", value, skip, pos, length, single));
  EXPECT_EQ(single, -HUGE_VALF);
}

}  // namespace
}  // namespace kvax
