// The argument fetch: by number, blank-padded or cut to the field, blanks when missing.
#include <kvax/io/program_arguments.h>

#include <gtest/gtest.h>

namespace kvax {
namespace {

TEST(ProgramArguments, FetchedByNumber) {
  const char* argv[] = {"prog", "!job", "a-rather-long-argument", ""};
  set_program_arguments(4, argv);
  EXPECT_EQ(program_argument(0, 6), "prog  ");
  EXPECT_EQ(program_argument(1, 4), "!job");
  EXPECT_EQ(program_argument(2, 8), "a-rather");
  EXPECT_EQ(program_argument_length(2), 22u);
  EXPECT_EQ(program_argument(3, 2), "  ");
  EXPECT_EQ(program_argument(4, 3), "   ");
  EXPECT_EQ(program_argument(-1, 3), "   ");
  EXPECT_EQ(program_argument_length(9), 0u);
  set_program_arguments(0, nullptr);
  EXPECT_EQ(program_argument(0, 2), "  ");
}

}  // namespace
}  // namespace kvax
