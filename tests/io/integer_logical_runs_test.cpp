// Rows of integers and of 1-byte logicals through one statement: the same text and the
// same values as one item per value, whatever the format does around the runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>

#include "test_support.h"

namespace kvax {
namespace {

const std::vector<std::int32_t> ints = {0, -1, 7, 99999, -99999, 123456, 2147483647, -2147483647 - 1, 42, 5, 6};
const std::vector<std::int8_t> flags = {1, 0, 0, 5, -1, 1, 0, 1, 1, 0, 1};

TEST(IntegerAndLogicalRuns, WrittenAsOneItemPerValue) {
  test::CapturedOutput out;
  auto lines = [&](auto&& pass) {
    out.clear();
    pass();
    return out.text();
  };
  for (std::string_view format : {"(20I6,:)", "(3I4)", "(I3,2X,2I12)", "(1X,4(I5,'|'))", "(2I6.3,:)"}) {
    SCOPED_TRACE(format);
    const std::string run = lines([&] {
      OutputStatement st(6, format);
      st.items(std::span<const std::int32_t>(ints).first(3));  // a run split over calls
      st.items(std::span<const std::int32_t>(ints).subspan(3));
      st.finish();
    });
    const std::string one = lines([&] {
      OutputStatement st(6, format);
      for (auto v : ints) st.item(v);
      st.finish();
    });
    EXPECT_EQ(run, one);
  }
  for (std::string_view format : {"(120L1,:)", "(3L2)", "(L1,1X,2L3,'.')"}) {
    SCOPED_TRACE(format);
    const std::string run = lines([&] {
      OutputStatement st(6, format);
      st.logicals(flags);
      st.finish();
    });
    const std::string one = lines([&] {
      OutputStatement st(6, format);
      for (auto v : flags) st.item(v != 0);
      st.finish();
    });
    EXPECT_EQ(run, one);
  }
  EXPECT_EQ(lines([&] {
              OutputStatement st(6, "(120L1,:)");
              st.logicals(flags);
              st.finish();
            }),
            "TFFTTTFTTFT\n");
}

TEST(IntegerAndLogicalRuns, ReadAsOneItemPerValue) {
  struct Row {
    int line;
    std::string_view format, text;
    Io result;
    std::vector<std::int32_t> values;  // what the run stored, in order, before any error
  } rows[] = {
      {__LINE__, "(20I6)", "     1    -2   333", Io::ok, {1, -2, 333, 0}},  // past the line: blanks, 0
      {__LINE__, "(2I3,1X,2I2)", "  1 -2 33", Io::ok, {1, -2, 33, 0}},
      {__LINE__, "(20I6)", "     1    x2     3", Io::err, {1}},
      {__LINE__, "(I12)", "  2147483648", Io::err, {}},  // beyond 32 bits
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    std::vector<std::int32_t> v(4, 9);
    InputStatement st(r.text, want_err, r.format);
    st.items(std::span<std::int32_t>(v).first(2));
    st.items(std::span<std::int32_t>(v).subspan(2));
    EXPECT_EQ(st.finish(), r.result);
    for (std::size_t i = 0; i < r.values.size(); ++i) EXPECT_EQ(v[i], r.values[i]);
    for (std::size_t i = r.values.size(); i < v.size(); ++i) EXPECT_EQ(v[i], 9);  // left unchanged
  }
  std::vector<std::int8_t> l(6, 7);
  InputStatement st("TFtfF T", want_err, "(120L1)");
  st.logicals(std::span<std::int8_t>(l).first(5));
  EXPECT_EQ(st.finish(), Io::ok);
  EXPECT_EQ(l, (std::vector<std::int8_t>{1, 0, 1, 0, 0, 7}));
}

}  // namespace
}  // namespace kvax
