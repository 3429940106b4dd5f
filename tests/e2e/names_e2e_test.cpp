// kvax.out as a process: environment references in the file names of the command line
// reach the opener as the substitution leaves them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"

namespace kvax {
namespace {

using test::file_exists;
using test::opened;
using test::run_kvax;
using test::ScratchDir;
using test::Section;
using test::write_file;

TEST(NamesRun, ReferencesInTheOutputName) {
  struct Row {
    int line;
    std::string name, opens;
  } rows[] = {
      // "$" before "$" is no reference, and the name after the pair is none either.
      {__LINE__, "dd/$$HOME.f", "dd/$$HOME.f"},
      // A reference right after a removed or short value is still replaced.
      {__LINE__, "dd/a$X$Y.f", "dd/a1.f"},
      {__LINE__, "dd/a$Y$X.f", "dd/a1.f"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    ScratchDir d;
    ASSERT_EQ(::mkdir(d.file("dd").c_str(), 0755), 0);
    write_file(d.file("in.u"), Section().unformatted());
    const auto p = run_kvax({"-o", r.name, "in.u"}, d.path(), {"HOME=/home/u", "Y=1"});
    EXPECT_NE(p.out.find(opened("31:B", r.opens)), std::string::npos) << p.out;
    EXPECT_TRUE(file_exists(d.file(r.opens)));
    EXPECT_EQ(p.status, 0);
  }
}

}  // namespace
}  // namespace kvax
