// kvax.out as a process on the output path: names of its own descriptors, outputs that
// may be written but not replaced (a locked or sticky directory, run as another user),
// every signal that ends a run, hidden files left by killed runs, a directory renamed
// during a run, circles of links and hard links.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace kvax {
namespace {

using test::opened;
using test::read_file;
using test::run_kvax;
using test::run_shell;
using test::ScratchDir;
using test::Section;
using test::write_file;

const std::string text_3x2 =
    "         3         2 M CMPX M2          7\n"
    "  2.1000E+01 -2.0000E+00  2.2000E+01 -2.0000E+00  2.3000E+01 -2.0000E+00\n"
    "  1.1000E+01 -1.0000E+00  1.2000E+01 -1.0000E+00  1.3000E+01 -1.0000E+00\n";

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> found;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") found.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool hidden_file_in(const std::string& dir) {
  const auto names = names_in(dir);
  return std::any_of(names.begin(), names.end(),
                     [](const std::string& n) { return n.find(".kvax-") != std::string::npos; });
}

class OutputPath : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(file("m2.u"), Section{}.unformatted());
    Section big;
    big.k = 720;
    big.l = 360;
    write_file(file("big.u"), big.unformatted());
  }
  std::string file(std::string_view name) const { return dir_.file(name); }
  ScratchDir dir_;
};

TEST_F(OutputPath, NamesOfDescriptorsAreWrittenThroughThem) {
  const std::string unformatted = Section{}.unformatted();
  struct Row {
    int line;
    std::string script, file, expected;
  } rows[] = {
      {__LINE__, "$KVAX -o /dev/fd/3 m2.u 3>&1 >/dev/null | cat > got", "got", text_3x2},
      {__LINE__, "$KVAX -u2u -o /proc/self/fd/3 m2.u 3>&1 >/dev/null | cat > got", "got", unformatted},
      {__LINE__, "echo keep > got; $KVAX -o /dev/fd/3 m2.u 3>>got >/dev/null", "got", "keep\n" + text_3x2},
      {__LINE__, "echo keep > got; $KVAX -o /dev/stderr m2.u 2>>got >/dev/null", "got", "keep\n" + text_3x2},
      {__LINE__, "echo keep > got; ln -s /dev/fd/3 link; $KVAX -o link m2.u 3>>got >/dev/null", "got",
       "keep\n" + text_3x2},
      {__LINE__, "bash -c '$KVAX -o >(cat > got) m2.u >/dev/null; wait $!'", "got", text_3x2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const auto p = run_shell(r.script + "; echo $?", dir_.path());
    EXPECT_EQ(p.out, "0\n") << p.err;
    EXPECT_EQ(read_file(file(r.file)), r.expected);
    for (const std::string& n : names_in(dir_.path()))
      EXPECT_TRUE(n == "m2.u" || n == "big.u" || n == "got" || n == "link") << n;
    ::unlink(file("got").c_str());
    ::unlink(file("link").c_str());
  }
  // Standard output that is a pipe or a file opened for appending: the section, then the
  // message lines written to standard output as well.
  const std::string report = " <OutzmF>>> CMPX array, grid M, f.unit 31: /dev/stdout -->M2  #     7 \n";
  auto p = run_shell("$KVAX -o /dev/stdout m2.u | cat", dir_.path());
  EXPECT_TRUE(p.out.starts_with(text_3x2) && p.out.ends_with(report)) << p.out;
  write_file(file("log"), "keep\n");
  p = run_shell("$KVAX -o /dev/stdout m2.u >>log; echo $?", dir_.path());
  EXPECT_EQ(p.out, "0\n");
  const std::string log = read_file(file("log"));
  EXPECT_TRUE(log.starts_with("keep\n" + text_3x2) && log.ends_with(report)) << log;
  // A descriptor that is not open fails the open.
  p = run_shell("$KVAX -o /dev/fd/7 m2.u 7>&-; echo $?", dir_.path());
  EXPECT_TRUE(
      p.out.ends_with(" <OPENF->T> 31 B File ->/dev/fd/7<- Status=UNKNOWN     9 READONLY=F\n"
                      " <OPENF->I> DFN ->/dev/fd/7" +
                      std::string(119, ' ') + "<-\n1\n"))
      << p.out;
}

TEST_F(OutputPath, CirclesOfLinksAreRefusedAndHardLinksDetached) {
  ASSERT_EQ(::symlink("loop", file("loop").c_str()), 0);
  ASSERT_EQ(::symlink("b", file("a").c_str()), 0);
  ASSERT_EQ(::symlink("a", file("b").c_str()), 0);
  for (const std::string name : {"loop", "a"}) {
    SCOPED_TRACE(name);
    const auto r = run_kvax({"-o", name, "m2.u"}, dir_.path());
    EXPECT_NE(r.out.find(" <OPENF->T> 31 B File ->" + name + "<- Status=UNKNOWN    40 READONLY=F\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 1);
    struct stat st {};
    ASSERT_EQ(::lstat(file(name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
  }
  EXPECT_EQ(names_in(dir_.path()), (std::vector<std::string>{"a", "b", "big.u", "loop", "m2.u"}));

  write_file(file("out.f"), "old\n");
  ASSERT_EQ(::link(file("out.f").c_str(), file("other.f").c_str()), 0);
  EXPECT_EQ(run_kvax({"-o", "out.f", "m2.u"}, dir_.path()).status, 0);
  EXPECT_EQ(read_file(file("out.f")), text_3x2);
  EXPECT_EQ(read_file(file("other.f")), "old\n");
}

TEST_F(OutputPath, ADirectoryRenamedDuringARunKeepsNoHiddenFile) {
  // The run waits on a FIFO for its input while the directory of its output is renamed.
  const std::string start =
      "mkdir d && mkfifo p\n"
      "$KVAX -o d/out.f p > log.txt & pid=$!\n"
      "exec 3>p\n"
      "n=0; until ls -A d | grep -q kvax- || [ $n -ge 500 ]; do sleep 0.02; n=$((n+1)); done\n"
      "mv d e\n";
  struct Row {
    int line;
    std::string end, out, left;
  } rows[] = {
      {__LINE__, "cat m2.u >&3; exec 3>&-; wait $pid; echo $?", "0\n", text_3x2},   // put in place in e
      {__LINE__, "head -c 30 m2.u >&3; exec 3>&-; wait $pid; echo $?", "1\n", ""},  // bad input
      {__LINE__, "kill -TERM $pid; wait $pid; echo $?", "143\n", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    write_file(file("script"), start + r.end + "\n");
    const auto p = run_shell("timeout 30 sh script", dir_.path());
    EXPECT_EQ(p.out, r.out) << read_file(file("log.txt"));
    EXPECT_EQ(names_in(file("e")), r.left.empty() ? std::vector<std::string>{} : std::vector<std::string>{"out.f"});
    if (!r.left.empty()) {
      EXPECT_EQ(read_file(file("e/out.f")), r.left);
    }
    run_shell("rm -rf e p script log.txt", dir_.path());
  }
}

// Starts kvax.out in dir with every signal at its default and none blocked (as a shell's
// background job would not have SIGINT), writing no core file.
pid_t spawn_plain(const std::vector<std::string>& args, const std::string& dir) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  std::vector<std::string> argv_s{KVAX_EXE};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  posix_spawn(&pid, KVAX_EXE, &fa, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  return pid;
}

// Waits up to ten seconds for `ready`.
template <class F>
bool within_ten_seconds(F ready) {
  for (int n = 0; n < 1000; ++n) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(OutputPath, EverySignalThatEndsARunRemovesTheNewFile) {
  ASSERT_EQ(::mkfifo(file("p").c_str(), 0600), 0);
  write_file(file("out.f"), "old\n");
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ,
                        SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR, SIGRTMIN, SIGRTMAX}) {
    SCOPED_TRACE(sig);
    const pid_t pid = spawn_plain({"-o", "out.f", "p"}, dir_.path());
    ASSERT_GT(pid, 0);
    // The run holds the FIFO open for reading once this open succeeds, and then waits in
    // its first read with the new file made.
    int fifo = -1;
    EXPECT_TRUE(within_ten_seconds([&] { return (fifo = ::open(file("p").c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
    EXPECT_TRUE(within_ten_seconds([&] { return hidden_file_in(dir_.path()); }));
    ::kill(pid, sig);
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    if (fifo >= 0) ::close(fifo);
    EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == sig) << ws;
    EXPECT_FALSE(hidden_file_in(dir_.path()));
    EXPECT_EQ(read_file(file("out.f")), "old\n");
  }
}

TEST_F(OutputPath, HiddenFilesOfKilledRunsAreRemovedWhenStale) {
  const auto age = [&](const char* name, int seconds) {
    write_file(file(name), "partial");
    const timespec t[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, file(name).c_str(), t, 0);
  };
  age(".out.f.kvax-Abc123", 120);    // left by a killed run
  age(".out.f.kvax-Fresh1", 0);      // maybe a run that has just begun
  age(".out.f.kvax-Locked", 120);    // a live run that waits
  age(".other.f.kvax-Abc123", 120);  // another output's
  age(".out.f.kvax-Abc1234", 120);   // not such a name
  const int held = ::open(file(".out.f.kvax-Locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const auto r = run_kvax({"-o", "out.f", "m2.u"}, dir_.path());
  ::close(held);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(opened("31:B", "out.f") +
                       " <Main-->I> Removed a stale file of an interrupted run: .out.f.kvax-Abc123\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(names_in(dir_.path()),
            (std::vector<std::string>{".other.f.kvax-Abc123", ".out.f.kvax-Abc1234", ".out.f.kvax-Fresh1",
                                      ".out.f.kvax-Locked", "big.u", "m2.u", "out.f"}));
}

// Where the tests run as root, a user of its own for the cases that need one (made when
// missing), run through setpriv; as another user, that user. "" when neither can be.
std::string as_other_user() {
  if (::geteuid() != 0) return "";
  if (std::system("command -v setpriv >/dev/null 2>&1") != 0) return "none";
  for (int n = 0; n < 20 && !::getpwnam("kvaxtest"); ++n) {
    if (std::system("useradd --system --no-create-home --shell /usr/sbin/nologin kvaxtest >/dev/null 2>&1") != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // another test holds the lock
  }
  return ::getpwnam("kvaxtest") ? "setpriv --reuid=kvaxtest --regid=kvaxtest --clear-groups " : "none";
}

// An output that may be written in a directory that may not (mode 555): the run writes
// elsewhere and copies the whole result into the file only after it succeeded.
TEST_F(OutputPath, ALockedDirectoryKeepsItsOutputUntilTheRunSucceeded) {
  const std::string as = as_other_user();
  if (as == "none") GTEST_SKIP() << "root, but no other user to run as (setpriv or useradd missing)";
  ::chmod(dir_.path().c_str(), 0755);
  ASSERT_EQ(::mkdir(file("locked").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(file("p").c_str(), 0644), 0);
  write_file(file("cut.u"), read_file(file("big.u")).substr(0, 1000000));
  write_file(file("bad.f"), text_3x2.substr(0, 116) + "x" + text_3x2.substr(117));
  ASSERT_EQ(run_kvax({"-o", "new.f", "big.u"}, dir_.path()).status, 0);
  const std::string new_text = read_file(file("new.f"));
  const std::string old_text = "an older output\n";
  write_file(file("locked/out.f"), old_text);
  ASSERT_EQ(::link(file("locked/out.f").c_str(), file("locked/alias.f").c_str()), 0);
  ::chmod(file("locked/out.f").c_str(), 0666);
  ::chmod(file("locked").c_str(), 0555);
  struct stat before {};
  ::stat(file("locked/out.f").c_str(), &before);

  struct Row {
    int line;
    std::string script, out, expected;
  } rows[] = {
      {__LINE__, "$AS$KVAX -o locked/out.f cut.u", "1\n", old_text},         // truncated data
      {__LINE__, "$AS$KVAX -f2f -o locked/out.f bad.f", "255\n", old_text},  // the fatal report
      {__LINE__,                                                             // a signal after many rows were written
       "$AS$KVAX -o locked/out.f p & pid=$!; exec 3>p; head -c 1000000 big.u >&3; sleep 0.2; kill -TERM $pid; "
       "wait $pid",
       "143\n", old_text},
      {__LINE__, "TMPDIR=/nowhere $AS$KVAX -o locked/out.f big.u", "0\n", new_text},  // held in memory
      {__LINE__, "$AS$KVAX -o locked/out.f m2.u", "0\n", text_3x2},                   // shorter than before
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    const auto p = run_shell("AS='" + as + "' timeout 30 sh -c '" + r.script + " >/dev/null; echo $?'", dir_.path());
    EXPECT_EQ(p.out, r.out) << p.err;
    EXPECT_EQ(read_file(file("locked/out.f")), r.expected);
  }
  struct stat after {};
  ::stat(file("locked/out.f").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, rewritten: its other names see it too
  EXPECT_EQ(read_file(file("locked/alias.f")), text_3x2);
  EXPECT_EQ(names_in(file("locked")), (std::vector<std::string>{"alias.f", "out.f"}));
  ::chmod(file("locked").c_str(), 0755);
}

// A world-writable file of another user in a sticky directory may be written, not
// replaced: found before converting, and written as in a locked directory.
TEST_F(OutputPath, AFileOfAnotherUserInAStickyDirectoryIsRewrittenInPlace) {
  const std::string as = as_other_user();
  if (as.empty() || as == "none") GTEST_SKIP() << "needs root to make a file of another user";
  ::chmod(dir_.path().c_str(), 0755);
  ASSERT_EQ(::mkdir(file("shared").c_str(), 0755), 0);
  ::chmod(file("shared").c_str(), 01777);
  write_file(file("shared/out.f"), "an older output\n");
  ::chmod(file("shared/out.f").c_str(), 0666);
  const auto p = run_shell(as + "$KVAX -o shared/out.f m2.u > log.txt; echo $?", dir_.path());
  EXPECT_EQ(p.out, "0\n") << read_file(file("log.txt"));
  EXPECT_EQ(read_file(file("shared/out.f")), text_3x2);
  struct stat st {};
  ::stat(file("shared/out.f").c_str(), &st);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(names_in(file("shared")), std::vector<std::string>{"out.f"});
}

}  // namespace
}  // namespace kvax
