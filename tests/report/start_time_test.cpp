// Start line, date and time texts under a fixed clock and host.
#include <kvax/report/start_time.h>

#include <gtest/gtest.h>

#include <string>

#include <kvax/files/registry.h>

#include "scoped_env.h"
#include "test_support.h"
#include "testing.h"

namespace kvax {
namespace {

using test::CapturedOutput;
using test::ScopedEnv;

std::tm at(int year, int mon, int mday, int wday, int hour, int min, int sec) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = mon - 1;
  t.tm_mday = mday;
  t.tm_wday = wday;
  t.tm_hour = hour;
  t.tm_min = min;
  t.tm_sec = sec;
  return t;
}

std::tm g_fixed;
std::tm fixed_clock() { return g_fixed; }

class StartTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fixed = at(2026, 12, 8, 2, 6, 19, 18);
    set_clock_for_tests(fixed_clock);
    registry_reset_for_tests();
  }
  void TearDown() override {
    set_clock_for_tests(nullptr);
    registry_reset_for_tests();
  }
};

TEST_F(StartTimeTest, DateAndTimeTexts) {
  struct Row {
    int line;
    std::tm clock;
    std::string fdate, date, my_date, my_time;
  } rows[] = {
      {__LINE__, at(2026, 12, 8, 2, 6, 19, 18), "Tue Dec  8 06:19:18 2026", "2026-Dec- 8", "2026-12-08", "06:19:18"},
      {__LINE__, at(2027, 1, 5, 2, 23, 0, 9), "Tue Jan  5 23:00:09 2027", "2027-Jan- 5", "2027-01-05", "23:00:09"},
      {__LINE__, at(2026, 10, 31, 6, 0, 0, 0), "Sat Oct 31 00:00:00 2026", "2026-Oct-31", "2026-10-31", "00:00:00"},
      // Values outside the tables and fields stay inside the 24 characters.
      {__LINE__, at(12026, 13, 123, 9, 0, 0, 0), "??? ??? ** 00:00:00 ****", "****-?\?\?-**", "****-00-**",
       "00:00:00"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    g_fixed = r.clock;
    EXPECT_EQ(fdate(), r.fdate);
    Text d(11, ' '), md(10, ' '), mt(8, ' ');
    date(d);
    my_date(md);
    my_time(mt);
    EXPECT_EQ(d, r.date);
    EXPECT_EQ(md, r.my_date);
    EXPECT_EQ(mt, r.my_time);
  }
  Text wide(14, '.');
  my_date(wide);
  EXPECT_EQ(wide, "****-00-**    ");
}

TEST_F(StartTimeTest, StartLineAndProgramName) {
  struct Row {
    int line;
    const char* host;
    std::string program, shown, registered;
  } rows[] = {
      {__LINE__, "node17", "kvax", "kvax on host=node17   at", "kvax"},
      {__LINE__, "node17", "/usr/local/bin/kvax", "kvax on host=node17   at", "/usr/local/bin/kvax"},
      {__LINE__, "node17", "kvax  ", "kvax   on host=node17   at", "kvax"},
      {__LINE__, "averylonghostname", "kvax", "kvax on host=averylon at", "kvax"},
      {__LINE__, nullptr, "kvax", "kvax on host=         at", "kvax"},
      {__LINE__, "h", "bin/kvax$1.0", "kvax on host=h        at", "bin/kvax"},
      {__LINE__, "h", "[dir]kvax", "[dir on host=h        at", "[dir"},
      {__LINE__, "h", "$kvax", "$kvax on host=h        at", "$kvax"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    ScopedEnv host("HOST", r.host);
    CapturedOutput out;
    start_time_message(r.program);
    EXPECT_EQ(out.text(), "0<StTiMe>>> " + r.shown + " 2026-12-08 06:19:18\n");
    Text entry(64, ' ');
    get_file_name(0, entry);
    EXPECT_EQ(std::string(trimmed(entry)), r.registered);
  }
}

TEST(StartTimeClock, PinnedClockOfTheProgram) {
  ScopedEnv tz("TZ", "UTC");
  ScopedEnv pinned("KVAX_TEST_CLOCK", "1796710758");
  tzset();
  EXPECT_EQ(fdate(), "Tue Dec  8 06:19:18 2026");
  ScopedEnv bad("KVAX_TEST_CLOCK", "soon");
  EXPECT_NE(fdate(), "Tue Dec  8 06:19:18 2026");
}

}  // namespace
}  // namespace kvax
