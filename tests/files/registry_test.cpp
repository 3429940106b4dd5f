// File-name registry: names and comments, replacements on the way out, slot reuse,
// wrap-around of a full table and the unit-0 entry.
#include <kvax/files/registry.h>

#include <gtest/gtest.h>

#include <string>

#include "scoped_env.h"
#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::ScopedEnv;

std::string name_of(int unit, std::size_t length = 64) {
  Text t(length, ' ');
  get_file_name(unit, t);
  return std::string(trimmed(t));
}

std::string comment_of(int unit) {
  Text t(64, ' ');
  get_file_comment(unit, t);
  return std::string(trimmed(t));
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { registry_reset_for_tests(); }
  void TearDown() override { registry_reset_for_tests(); }
  ScopedEnv home_{"HOME", "/home/u extra"};
  ScopedEnv dir_{"DATA", "/data"};
  test::CapturedOutput out_;  // close_file_name closes units
};

TEST_F(RegistryTest, NamesCommentsAndReplacements) {
  struct Row {
    int line;
    std::string entry, name, comment;
  } rows[] = {
      {__LINE__, "input.dat", "input.dat", ""},
      {__LINE__, "input.dat first run", "input.dat", "first run"},
      {__LINE__, "~/x.dat a comment", "/home/u/x.dat", "a comment"},
      {__LINE__, "$DATA/m2.u ${DATA}", "/data/m2.u", "${DATA}"},  // comments are not replaced
      {__LINE__, "a\\$b.u", "a$b.u", ""},
      {__LINE__, " leading", "", "leading"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    save_file_name(21, r.entry);
    EXPECT_EQ(name_of(21), r.name);
    EXPECT_EQ(comment_of(21), r.comment);
  }

  struct Unknown {
    int line, unit;
    std::string name;
  } unknown[] = {
      {__LINE__, 7, "? ftn07"}, {__LINE__, 99, "? ftn99"}, {__LINE__, 100, "? ftn**"}, {__LINE__, -1, "? ftn**"}};
  for (const Unknown& u : unknown) {
    SCOPED_TRACE(u.line);
    EXPECT_EQ(name_of(u.unit), u.name);
    EXPECT_EQ(comment_of(u.unit), u.name);
  }

  // A 64-character name has no comment part: the comment starts at its last character.
  save_file_name(22, std::string(63, 'n') + "z");
  EXPECT_EQ(comment_of(22), "z");
  // Results are cut to the caller's field.
  save_file_name(21, "abcdef");
  EXPECT_EQ(name_of(21, 3), "abc");
}

TEST_F(RegistryTest, UnitZeroHasItsOwnEntry) {
  for (int u = 1; u <= 100; ++u) save_file_name(u, std::string("f").append(std::to_string(u)));
  save_file_name(0, "~/bin/kvax $DATA");
  Text t(64, ' ');
  get_file_name(0, t);
  EXPECT_EQ(t, text("~/bin/kvax $DATA", 64));  // unchanged, all 64 characters
  get_file_comment(0, t);
  EXPECT_EQ(t, text("~/bin/kvax $DATA", 64));
  for (int u = 1; u <= 100; ++u) ASSERT_EQ(name_of(u), std::string("f").append(std::to_string(u))) << "unit " << u;
}

TEST_F(RegistryTest, FreeSlotBeforeTheUnitsOwnTakesTheNewEntry) {
  save_file_name(21, "old21.dat");  // slot 1
  save_file_name(22, "b.dat");      // slot 2
  save_file_name(21, "again.dat");  // its own slot 1 comes first
  EXPECT_EQ(name_of(21), "again.dat");

  save_file_name(23, "c.dat");  // slot 3
  close_file_name(21);          // frees slot 1
  EXPECT_EQ(name_of(21), "? ftn21");
  save_file_name(23, "newer.dat");  // the free slot 1 wins over slot 3
  EXPECT_EQ(name_of(23), "newer.dat");
  close_file_name(23);  // clears slot 1 only: the older entry shows again
  EXPECT_EQ(name_of(23), "c.dat");
  close_file_name(23);
  EXPECT_EQ(name_of(23), "? ftn23");
  close_file_name(23);  // nothing left to clear
  EXPECT_EQ(name_of(22), "b.dat");
}

TEST_F(RegistryTest, FullTableOverwritesTheSlotAfterTheLatest) {
  for (int u = 1; u <= 100; ++u) save_file_name(u, std::string("f").append(std::to_string(u)));
  save_file_name(101, "g101");  // latest was slot 100: wraps to slot 1
  EXPECT_EQ(name_of(101), "g101");
  EXPECT_EQ(name_of(1), "? ftn01");
  save_file_name(102, "g102");  // slot 2
  EXPECT_EQ(name_of(2), "? ftn02");
  EXPECT_EQ(name_of(3), "f3");
  save_file_name(50, "f50b");  // its own slot; the latest becomes slot 50
  save_file_name(103, "g103");  // slot 51
  EXPECT_EQ(name_of(50), "f50b");
  EXPECT_EQ(name_of(51), "? ftn51");
  EXPECT_EQ(name_of(103), "g103");
}

}  // namespace
}  // namespace kvax
