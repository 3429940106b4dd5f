// Report lines of readers and writers, the per-unit switches and the header type check.
#include <kvax/report/iomsg.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <kvax/files/registry.h>

#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;

class IomsgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_reset_for_tests();
    iomsg_reset_for_tests();
    save_file_name(21, "m2.u input");
    save_file_name(31, "m2.f");
  }
  void TearDown() override {
    registry_reset_for_tests();
    iomsg_reset_for_tests();
  }
};

TEST_F(IomsgTest, ReportLines) {
  const std::string long_name(60, 'n');
  save_file_name(32, "a\\$b.f");
  save_file_name(33, long_name);
  struct Row {
    int line;
    std::function<void()> call;
    std::string expected;
  } rows[] = {
      {__LINE__, [] { aiomsg("OUTZM-", "M", 1440, 720, "CMPX", 31, "M2", 1); },
       " <OUTZM->>> CMPX array, grid M 1440x720, f.unit 31: m2.f -->M2  #     1 \n"},
      {__LINE__, [] { iomsg("GETZM-", "M", "CMPX", 21, "M2", 3); },
       " <GETZM->>> CMPX array, grid M, f.unit 21: m2.u -->M2  #     3 \n"},
      {__LINE__, [] { iomsg("OUTRM-", "M", "REAL", 31, "//", -1); },
       " <OUTRM->>> REAL array, grid M, f.unit 31: m2.f \n"},
      // A complex version of 0 is shown, -1 only by the complex writer.
      {__LINE__, [] { iomsg("GetzmF", "Z", "CMPX", 21, "M2  ", 0); },
       " <GetzmF>>> CMPX array, grid Z, f.unit 21: m2.u -->M2  #     0 \n"},
      {__LINE__, [] { iomsg("GETZM-", "Z", "CMPX", 21, "M2", -1); },
       " <GETZM->>> CMPX array, grid Z, f.unit 21: m2.u -->M2 \n"},
      {__LINE__, [] { aiomsg("OUTZM-", " ", 3, 2, "CMPX", 31, "S2", -1); },
       " <OUTZM->>> CMPX array, grid   3x2, f.unit 31: m2.f -->S2  #    -1 \n"},
      {__LINE__, [] { iomsg("GETRM-", "M", "REAL", 7, "/", 2); },
       " <GETRM->>> REAL array, grid M, f.unit  7: ? ftn07 -->/  #     2 \n"},
      {__LINE__, [] { iomsg("GETZM-", " ", "/CZ/", 21, "//", 0); },
       " <GETZM->>> /CZ/ common, var., f.unit 21: m2.u \n"},
      // A "$" in the file name is printed as it stands.
      {__LINE__, [] { iomsg("GETZM-", "M", "CMPX", 32, "M2", 1); },
       " <GETZM->>> CMPX array, grid M, f.unit 32: a$b.f -->M2  #     1 \n"},
      // The line is cut at 132 characters.
      {__LINE__, [] { aiomsg("OUTZM-", "M", 1440, 720, "CMPX", 33, "ABCDEFGHIJKLMNOP", 1); },
       " <OUTZM->>> CMPX array, grid M 1440x720, f.unit 33: " + long_name + " -->ABCDEFGHIJKLMNOP\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    r.call();
    EXPECT_EQ(out.text(), r.expected);
  }
}

TEST_F(IomsgTest, ReportSwitchPerUnit) {
  CapturedOutput out;
  iomsg_for_unit(21, 0);
  iomsg("GETZM-", "M", "CMPX", 21, "M2", 1);
  iomsg("GETZM-", "M", "CMPX", 100, "M2", 1);
  iomsg("GETZM-", "M", "CMPX", -1, "M2", 1);
  iomsg_for_unit(100, 1);
  iomsg_for_unit(-1, 1);
  iomsg("GETZM-", "M", "CMPX", 100, "M2", 1);
  EXPECT_EQ(out.text(), "");
  iomsg_for_unit(21, 7);
  iomsg("GETZM-", "M", "CMPX", 21, "M2", 1);
  iomsg("GETZM-", "M", "CMPX", 0, "M2", 1);
  EXPECT_EQ(out.text(),
            " <GETZM->>> CMPX array, grid M, f.unit 21: m2.u -->M2  #     1 \n"
            " <GETZM->>> CMPX array, grid M, f.unit  0:  -->M2  #     1 \n");
}

TEST_F(IomsgTest, HeaderTypeCheck) {
  struct Row {
    int line;
    std::string requested_grid, grid_read, requested_types, type_read;
    int code;
    std::string message;
  } rows[] = {
      {__LINE__, "?", "Z", "CMPX", "CMPX", 0, ""},
      {__LINE__, " ", "M", "CMPX", "CMPX", 0, ""},
      {__LINE__, ".", "M", "CMPX", "CMPX", 0, ""},
      {__LINE__, "", "M", "CMPX", "CMPX", 0, ""},
      {__LINE__, "M", "M", "REAL|DBLE", "DBLE", 0, ""},
      {__LINE__, "M", "M", "REAL|DBLE", "REAL", 0, ""},
      {__LINE__, "M", "M", "cmpx", "CMPX", 0, ""},
      {__LINE__, "M", "M", "MP", "CMPX", 0, ""},
      {__LINE__, "z", "m", "CMPX", "CMPX", 1, " <GETZM->E> Requested grid \"z\", encountered \"m\"\n"},
      {__LINE__, "M", "m", "CMPX", "CMPX", 1, " <GETZM->E> Requested grid \"M\", encountered \"m\"\n"},
      {__LINE__, "M", "M", "CMPX", "REAL", 2, " <GETZM->E> Requested data CMPX Encountered REAL\n"},
      {__LINE__, "M", "M", "REAL|DBLE", "FLAG", 2, " <GETZM->E> Requested data REAL Encountered FLAG\n"},
      {__LINE__, "M", "M", "MP", "REAL", 2, " <GETZM->E> Requested data   MP Encountered REAL\n"},
      // An empty alternative ends the test.
      {__LINE__, "M", "M", "|CMPX", "CMPX", 2, " <GETZM->E> Requested data |CMP Encountered CMPX\n"},
      {__LINE__, "M", "M", "CMPXREAL", "CMPX", 2, " <GETZM->E> Requested data CMPX Encountered CMPX\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    CapturedOutput out;
    EXPECT_EQ(rparse("GETZM-", r.requested_grid, r.grid_read, r.requested_types, r.type_read), r.code);
    EXPECT_EQ(getxxx_errno(), r.code);
    EXPECT_EQ(out.text(), r.message);
  }
}

}  // namespace
}  // namespace kvax
