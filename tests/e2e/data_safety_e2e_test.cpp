// kvax.out as a process where data can be lost: the exit status of every kind of stop,
// the output replaced whole or not at all (failed, interrupted and concurrent runs,
// links, permission bits), closed standard descriptors, pipes and FIFOs, an endless
// line, and file names that do not fit or would change on their way.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace kvax {
namespace {

using test::file_exists;
using test::opened;
using test::read_file;
using test::run_kvax;
using test::run_shell;
using test::ScratchDir;
using test::Section;
using test::start_line;
using test::tag_line;
using test::write_file;

const std::string text_3x2 =
    "         3         2 M CMPX M2          7\n"
    "  2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00  2.3000E+01 -2.0000E+00\n"
    "  1.1000E+01 -1.0000E+00  1.2000E+01 -1.0000E+00  1.3000E+01 -1.0000E+00\n";

std::string fatal(std::string_view text, std::string_view statement, std::string_view unit) {
  return "? FORTRAN Runtime Error:\n? " + std::string(text) + "\n? " + std::string(statement) + "(UNIT=" +
         std::string(unit) + ",...\n";
}

// The names in a directory that a run leaves behind besides `keep`.
std::vector<std::string> other_files(const std::string& dir, const std::vector<std::string>& keep) {
  std::vector<std::string> found;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n == "." || n == ".." || std::find(keep.begin(), keep.end(), n) != keep.end()) continue;
      found.push_back(n);
    }
    ::closedir(d);
  }
  return found;
}

// Starts kvax.out in `dir` with its standard output and error on /dev/null.
pid_t spawn_kvax(const std::vector<std::string>& args, const std::string& dir) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  std::vector<std::string> argv_s{KVAX_EXE};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, KVAX_EXE, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

int wait_status(pid_t pid) {
  int ws = 0;
  ::waitpid(pid, &ws, 0);
  return ws;
}

class DataSafety : public ::testing::Test {
 protected:
  std::string file(std::string_view name) const { return dir_.file(name); }
  ScratchDir dir_;
};

TEST_F(DataSafety, ExitStatusOfEveryKindOfStop) {
  write_file(file("m2.u"), Section{}.unformatted());
  write_file(file("bad.u"), "not a section");
  struct Row {
    int line;
    std::vector<std::string> args;
    int status;
  } rows[] = {
      {__LINE__, {"-o", "o.f", "m2.u"}, 0},         // the section written
      {__LINE__, {"-h"}, 0},                        // the usage text
      {__LINE__, {"--version"}, 0},
      {__LINE__, {"missing.u"}, 1},                 // a failed open
      {__LINE__, {"bad.u"}, 1},                     // bad input
      {__LINE__, {"-v", "m2.u"}, 1},                // "Numerical argument required"
      {__LINE__, {"-u2u", "-f2f", "m2.u"}, 1},      // options that exclude each other
      {__LINE__, {"-o", "m2.u", "m2.u"}, 1},        // the output is the input
      {__LINE__, {"-o", "${x.f", "m2.u"}, 1},       // "Missing }"
      {__LINE__, {"-vabc", "m2.u"}, 255},           // the fatal report
      {__LINE__, {"-o", "/dev/full", "m2.u"}, 255},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(run_kvax(r.args, dir_.path()).status, r.status);
  }
  // A script goes on only after a conversion that was done.
  EXPECT_EQ(run_shell("$KVAX bad.u >/dev/null && echo next", dir_.path()).out, "");
  EXPECT_EQ(run_shell("$KVAX -o o.f m2.u >/dev/null && echo next", dir_.path()).out, "next\n");
}

TEST_F(DataSafety, FailedRunsLeaveTheOutputAsItWasAndNoNewFile) {
  write_file(file("bad.u"), Section{}.unformatted().substr(0, 40));  // cut inside the rows
  write_file(file("old.f"), "old\n");
  ::chmod(file("old.f").c_str(), 0640);
  for (const auto& out : {"old.f", "new.f"}) {
    SCOPED_TRACE(out);
    const auto r = run_kvax({"-o", out, "bad.u"}, dir_.path());
    EXPECT_TRUE(r.out.ends_with(" <GETZM->T> Data truncated after    0 operations.\n")) << r.out;
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(read_file(file("old.f")), "old\n");
  EXPECT_EQ(other_files(dir_.path(), {"bad.u", "old.f"}), std::vector<std::string>{});
}

TEST_F(DataSafety, ReplacedOutputKeepsItsBitsAndItsLinks) {
  write_file(file("m2.u"), Section{}.unformatted());
  write_file(file("out.f"), "an older and longer output file\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n");
  ::chmod(file("out.f").c_str(), 0604);
  ASSERT_EQ(::mkdir(file("data").c_str(), 0755), 0);
  write_file(file("data/target.f"), "old target\n");
  ASSERT_EQ(::symlink("data/target.f", file("link.f").c_str()), 0);
  ASSERT_EQ(::symlink("data/fresh.f", file("dangling.f").c_str()), 0);

  for (const char* out : {"out.f", "link.f", "dangling.f"}) {
    SCOPED_TRACE(out);
    const auto r = run_kvax({"-o", out, "m2.u"}, dir_.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.find(opened("31:B", out)) != std::string::npos) << r.out;  // the name given
    EXPECT_EQ(read_file(file(out)), text_3x2);
  }
  struct stat st {};
  ASSERT_EQ(::stat(file("out.f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  ASSERT_EQ(::lstat(file("link.f").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(read_file(file("data/target.f")), text_3x2);
  EXPECT_EQ(read_file(file("data/fresh.f")), text_3x2);
  EXPECT_EQ(other_files(file("data"), {"target.f", "fresh.f"}), std::vector<std::string>{});
}

// A grid large enough that a run takes some milliseconds, and its text.
class Interrupted : public DataSafety {
 protected:
  void SetUp() override {
    Section big;
    big.k = 720;
    big.l = 360;
    write_file(file("big.u"), big.unformatted());
    ASSERT_EQ(run_kvax({"-o", "new.f", "big.u"}, dir_.path()).status, 0);
    new_text_ = read_file(file("new.f"));
  }
  std::string new_text_;
};

TEST_F(Interrupted, AKilledRunLeavesTheOldOutputOrTheNewOneNeverAMix) {
  const std::string old_text = "old output\n";
  std::mt19937 rng(20261209);
  const int signals[] = {SIGTERM, SIGINT, SIGHUP, SIGKILL};
  int old_seen = 0, new_seen = 0;
  for (int n = 0; n < 24; ++n) {
    write_file(file("out.f"), old_text);
    const int sig = signals[n % 4];
    const pid_t pid = spawn_kvax({"-o", "out.f", "big.u"}, dir_.path());
    ASSERT_GT(pid, 0);
    ::usleep(rng() % 12000);
    ::kill(pid, sig);
    const int ws = wait_status(pid);
    const std::string got = read_file(file("out.f"));
    SCOPED_TRACE("signal " + std::to_string(sig) + ", status " + std::to_string(ws));
    EXPECT_TRUE(got == old_text || got == new_text_) << got.size() << " bytes";
    (got == old_text ? old_seen : new_seen)++;
    // Only SIGKILL, which no program can catch, may leave the new file behind.
    const std::vector<std::string> left = other_files(dir_.path(), {"big.u", "new.f", "out.f"});
    if (sig != SIGKILL) {
      EXPECT_EQ(left, std::vector<std::string>{});
    }
    for (const std::string& f : left) ::unlink(file(f).c_str());
    if (WIFSIGNALED(ws)) {
      EXPECT_EQ(WTERMSIG(ws), sig);
    }
  }
  EXPECT_GT(old_seen + new_seen, 0);
}

TEST_F(Interrupted, ConcurrentRunsOntoOneOutput) {
  Section other;
  other.k = 720;
  other.l = 360;
  other.version = 9;
  write_file(file("other.u"), other.unformatted());
  ASSERT_EQ(run_kvax({"-o", "other.f", "other.u"}, dir_.path()).status, 0);
  const std::string other_text = read_file(file("other.f"));
  for (int n = 0; n < 6; ++n) {
    const pid_t a = spawn_kvax({"-o", "out.f", "big.u"}, dir_.path());
    const pid_t b = spawn_kvax({"-o", "out.f", "other.u"}, dir_.path());
    const int wa = wait_status(a), wb = wait_status(b);
    EXPECT_TRUE(WIFEXITED(wa) && WEXITSTATUS(wa) == 0 && WIFEXITED(wb) && WEXITSTATUS(wb) == 0);
    const std::string got = read_file(file("out.f"));
    EXPECT_TRUE(got == new_text_ || got == other_text) << got.size() << " bytes";
  }
}

TEST_F(DataSafety, ClosedStandardDescriptorsNeverReceiveData) {
  const std::string input = Section{}.unformatted();
  for (const char* closing : {">&-", "<&- >&-", "<&- >&- 2>&-"}) {
    SCOPED_TRACE(closing);
    write_file(file("m2.u"), input);
    ::unlink(file("out.f").c_str());
    const auto r = run_shell("$KVAX -o out.f m2.u " + std::string(closing) + "; echo $?", dir_.path());
    EXPECT_EQ(r.out, "0\n");
    EXPECT_EQ(read_file(file("m2.u")), input);
    EXPECT_EQ(read_file(file("out.f")), text_3x2);
  }
}

TEST_F(DataSafety, PipesAndFifosAsInput) {
  write_file(file("m2.u"), Section{}.unformatted());
  write_file(file("m2.f"), text_3x2);
  write_file(file("m2be.u"), Section{}.unformatted(true));
  struct Row {
    int line;
    std::string script, output, expected;
  } rows[] = {
      {__LINE__, "cat m2.u | $KVAX -o a.f /dev/stdin", "a.f", text_3x2},
      {__LINE__, "cat m2be.u | $KVAX -BE -o b.f /dev/stdin", "b.f", text_3x2},
      {__LINE__, "cat m2.f | $KVAX -f2u -o c.u /dev/stdin", "c.u", Section{}.unformatted()},
      {__LINE__, "cat m2.u | $KVAX -u2u -o g.u /dev/stdin", "g.u", Section{}.unformatted()},
      {__LINE__, "mkfifo p1 && { timeout 20 cat m2.u > p1 & } && $KVAX -o d.f p1", "d.f", text_3x2},
      {__LINE__, "mkfifo p2 && { timeout 20 cat m2.f > p2 & } && $KVAX -f2f -o e.f p2", "e.f", text_3x2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const auto p = run_shell("exec 2>&1; " + r.script + " >out.txt; echo $?", dir_.path());
    EXPECT_EQ(p.out, "0\n") << read_file(file("out.txt"));
    EXPECT_EQ(read_file(file(r.output)), r.expected);
  }
}

TEST_F(DataSafety, LargeRecordsToAFifoAndToDevNull) {
  // Rows of 20000 cells: each record is larger than a unit's buffer.
  Section wide;
  wide.k = 20000;
  wide.l = 3;
  write_file(file("wide.u"), wide.unformatted());
  // A kvax.out that fails before it opens the FIFO leaves the reader waiting: timeout ends it.
  const auto r = run_shell(
      "mkfifo q && { $KVAX -u2u -o q wide.u >log.txt & } && timeout 20 cat q > got.u && wait $! && echo ok",
      dir_.path());
  EXPECT_EQ(r.out, "ok\n") << r.err << read_file(file("log.txt"));
  EXPECT_EQ(read_file(file("got.u")), wide.unformatted());
  EXPECT_EQ(run_kvax({"-u2u", "-o", "/dev/null", "wide.u"}, dir_.path()).status, 0);
  EXPECT_EQ(run_kvax({"-o", "/dev/null", "wide.u"}, dir_.path()).status, 0);
}

TEST_F(DataSafety, AnEndlessLineEndsInTheFatalReportInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  const std::string limit;  // AddressSanitizer reserves its shadow memory beyond any such limit
#else
  const std::string limit = "ulimit -v 1048576; ";
#endif
  const auto r = run_shell(limit + "$KVAX -f2u -o x.t /dev/zero >/dev/null", dir_.path());
  EXPECT_EQ(r.err, fatal("Record too long", "READ", "21"));
  EXPECT_EQ(r.status, 255);
  EXPECT_FALSE(file_exists(file("x.t")));
}

TEST_F(DataSafety, NamesAreNeverCutOrRerouted) {
  write_file(file("m2.u"), Section{}.unformatted());
  const std::string dir57(57, 'd');
  ASSERT_EQ(::mkdir(file(dir57).c_str(), 0755), 0);
  write_file(file(dir57 + "/result"), "keep\n");
  const std::string long_name = std::string(66, 'o') + ".f";

  // Too long as given: refused before anything is opened.
  auto r = run_kvax({"-o", long_name, "m2.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + " <Main-->T> File name longer than 64 characters: " + long_name + "\n");
  EXPECT_EQ(r.status, 1);

  // Too long after substitution: refused by the opener.
  r = run_kvax({"-o", "$D/results_final.f", "m2.u"}, dir_.path(), {"D=" + dir57});
  EXPECT_EQ(r.out, std::string(start_line) + tag_line + opened("21:^", "m2.u") +
                       " <OPENF->T> 31 File name longer than 64 characters: " + dir57 + "/results_final.f\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(file(dir57 + "/result")), "keep\n");
  EXPECT_EQ(other_files(file(dir57), {"result"}), std::vector<std::string>{});

  // A blank would end the name.
  r = run_kvax({"-o", "out put.f", "m2.u"}, dir_.path());
  EXPECT_EQ(r.out, std::string(start_line) + " <Main-->T> File name holds a blank: out put.f\n");

  // "./" and an empty variable never make a relative name absolute.
  r = run_kvax({"-o", "./${OUTDIR}/rel.f", "m2.u"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(file("rel.f")), text_3x2);

  // "~/" without a HOME fails the open.
  for (const char* home : {"HOME=", "HOME=   "}) {
    r = run_kvax({"-o", "~/h.f", "m2.u"}, dir_.path(), {home});
    EXPECT_TRUE(r.out.ends_with(" <OPENF->T> 31 B File ->~/h.f<- Status=UNKNOWN     2 READONLY=F\n"
                                " <OPENF->I> DFN ->~/h.f" + std::string(123, ' ') + "<-\n"))
        << r.out;
    EXPECT_EQ(r.status, 1);
  }

  // A name is substituted once: reported as it was opened.
  for (const std::string name : {"in${x.u", "in$HOME.u"}) {
    SCOPED_TRACE(name);
    write_file(file(name), Section{}.unformatted());
    std::string escaped = name;
    escaped.insert(2, "\\");
    r = run_kvax({"-o", "out.f", escaped}, dir_.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.find(" <GETZM->>> CMPX array, grid M, f.unit 21: " + name + " -->M2") != std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(file("out.f")), text_3x2);
  }
}

}  // namespace
}  // namespace kvax
