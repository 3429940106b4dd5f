// Shared helpers of the tests.
#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <kvax/io/iostat.h>
#include <kvax/io/units.h>

#include "testing.h"

extern char** environ;

namespace kvax::test {

ScratchDir::ScratchDir() {
  char tmpl[] = "/tmp/kvax-test-XXXXXX";
  if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

CapturedOutput::CapturedOutput() { capture_standard_output(&sink_); }

CapturedOutput::~CapturedOutput() {
  try {
    close_all_units();
  } catch (const RunEnd&) {
  }
  capture_standard_output(nullptr);
}

const std::string& CapturedOutput::text() {
  flush_standard_output();
  return sink_;
}

void CapturedOutput::clear() {
  flush_standard_output();
  sink_.clear();
}

namespace {

// Runs the program at `path` with argv_s (its name first) in `dir` under the test
// environment, and collects what it writes and its status.
ProcessResult run_program(const char* path, std::vector<std::string> argv_s, const std::string& dir,
                          const std::vector<std::string>& env) {
  int out_pipe[2], err_pipe[2];
  if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&fa, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&fa, out_pipe[0]);
  posix_spawn_file_actions_addclose(&fa, err_pipe[0]);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());

  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_s;
  for (char** e = environ; *e; ++e) {
    std::string_view v(*e);
    if (v.starts_with("HOST=") || v.starts_with("TZ=") || v.starts_with("openf_dbg=") || v.starts_with("KVAX_"))
      continue;
    // Variables that the caller sets are not inherited as well.
    if (std::any_of(env.begin(), env.end(), [&](const std::string& e) {
          const std::size_t eq = e.find('=');
          return eq != std::string::npos && v.starts_with(std::string_view(e).substr(0, eq + 1));
        }))
      continue;
    env_s.emplace_back(v);
  }
  env_s.emplace_back("HOST=testhost");
  env_s.emplace_back("TZ=UTC");
  env_s.emplace_back("KVAX_TEST_CLOCK=1796710758");  // 2026-12-08 06:19:18 UTC
  env_s.emplace_back(std::string("KVAX=") + KVAX_EXE);
  env_s.insert(env_s.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& e : env_s) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid;
  const int rc = posix_spawn(&pid, path, &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (rc != 0) throw std::runtime_error("cannot start kvax.out");

  ProcessResult r;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  char buf[65536];
  while (open_fds > 0) {
    if (::poll(fds, 2, -1) < 0) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
      if (n <= 0) {
        ::close(fds[k].fd);
        fds[k].fd = -1;
        --open_fds;
      } else {
        (k == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
      }
    }
  }
  int ws = 0;
  ::waitpid(pid, &ws, 0);
  r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
  return r;
}

}  // namespace

ProcessResult run_kvax(const std::vector<std::string>& args, const std::string& dir,
                       const std::vector<std::string>& env) {
  std::vector<std::string> argv{KVAX_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_program(KVAX_EXE, std::move(argv), dir, env);
}

ProcessResult run_shell(const std::string& script, const std::string& dir, const std::vector<std::string>& env) {
  return run_program("/bin/sh", {"sh", "-c", script}, dir, env);
}

std::vector<std::complex<float>> sample_grid(int k, int l) {
  std::vector<std::complex<float>> g(static_cast<std::size_t>(k * l));
  for (int i = 0; i < k * l; ++i)
    g[static_cast<std::size_t>(i)] = {1.0f + static_cast<float>(i), -0.5f * static_cast<float>(i)};
  return g;
}

std::string hex(std::string_view bytes) {
  std::string s;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    s += b;
  }
  if (!s.empty()) s.pop_back();
  return s;
}

std::string opened(std::string_view unit_letter, std::string_view name) {
  std::string t(name);
  t.resize(std::max<std::size_t>(37, t.size() + 1), ' ');
  return " <OPENF->3> " + std::string(unit_letter) + " " + t + "-\n";
}

std::string le32(std::uint32_t v) {
  std::string b(4, '\0');
  for (int k = 0; k < 4; ++k) b[static_cast<std::size_t>(k)] = static_cast<char>(v >> (8 * k));
  return b;
}

std::string swap4(std::string b) {
  for (std::size_t i = 0; i + 4 <= b.size(); i += 4) std::swap(b[i], b[i + 3]), std::swap(b[i + 1], b[i + 2]);
  return b;
}

std::string record(std::string_view data, bool big) {
  const std::string n = le32(static_cast<std::uint32_t>(data.size()));
  return (big ? swap4(n) : n) + std::string(data) + (big ? swap4(n) : n);
}

std::string Section::header(bool big) const {
  auto num = [&](std::uint32_t v) { return big ? swap4(le32(v)) : le32(v); };
  return record(num(static_cast<std::uint32_t>(k)) + num(static_cast<std::uint32_t>(l)) + typ + vartyp + tag +
                    num(static_cast<std::uint32_t>(version)),
                big);
}

std::string Section::unformatted(bool big) const {
  const int nrows = rows < 0 ? l : rows, ncells = per_row < 0 ? k : per_row;
  std::string s = header(big);
  for (int j = nrows; j >= 1; --j) {
    std::string row;
    for (int i = 1; i <= ncells; ++i) {
      const std::size_t n = static_cast<std::size_t>(i - 1 + ncells * (j - 1));
      const auto [re, im] = n < cells.size() ? cells[n] : std::pair{float(i + 10 * j), float(-j)};
      const std::string b = le32(re) + le32(im);
      row += big ? swap4(b) : b;
    }
    s += record(row, big);
  }
  return s;
}

}  // namespace kvax::test
