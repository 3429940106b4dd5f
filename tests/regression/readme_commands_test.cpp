// The build lines of the README: each builds where it runs, the test line fails on a
// build without tests, and CI runs the README's test line as it stands.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kvax {
namespace {

// The command lines of the README: indented lines that start with "cmake -S".
std::vector<std::string> build_lines(const std::string& readme) {
  std::vector<std::string> lines;
  std::istringstream in(readme);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("    cmake -S")) lines.push_back(line.substr(4));
  return lines;
}

// Every directory a line names after -B, --build and --test-dir.
std::vector<std::string> directories(const std::string& line) {
  static const std::regex dir(R"((?:-B|--build|--test-dir) (\S+))");
  std::vector<std::string> dirs;
  for (std::sregex_iterator m(line.begin(), line.end(), dir), end; m != end; ++m) dirs.push_back((*m)[1]);
  return dirs;
}

TEST(ReadmeCommands, EachLineBuildsWhereItRunsAndCiRunsTheTestLine) {
  const std::string readme = test::read_file(KVAX_SOURCE_DIR "/README.md");
  const std::string ci = test::read_file(KVAX_SOURCE_DIR "/.ci/run");
  std::string test_line, converter_line;
  for (const std::string& line : build_lines(readme)) {
    SCOPED_TRACE(line);
    const auto dirs = directories(line);
    ASSERT_FALSE(dirs.empty());
    for (const auto& d : dirs) EXPECT_EQ(d, dirs.front());
    if (line.find("ctest") != std::string::npos) test_line = line;
    if (line.find("-DKVAX_TESTS=OFF") != std::string::npos) converter_line = line;
  }
  ASSERT_FALSE(test_line.empty());
  ASSERT_FALSE(converter_line.empty());
  EXPECT_NE(test_line.find("--no-tests=error"), std::string::npos);
  EXPECT_NE(directories(converter_line).front(), directories(test_line).front());
  EXPECT_NE(ci.find("\n" + test_line + "\n"), std::string::npos) << "CI must run the README's test line verbatim";
}

}  // namespace
}  // namespace kvax
