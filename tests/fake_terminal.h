// A pseudo-terminal standing in for the terminal device of the tests.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <string_view>

namespace kvax::test {

// A pseudo-terminal: the library opens its device by name; the test types answers on the
// other side and reads what was written to the terminal (no echo, no output translation).
class Pty {
 public:
  Pty() {
    char name[PATH_MAX];
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    termios t{};
    ::tcgetattr(slave_, &t);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  bool ok() const { return master_ >= 0; }
  const std::string& path() const { return path_; }
  void type(std::string_view s) { EXPECT_EQ(::write(master_, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
  // What the library wrote to the terminal since the last call: read until nothing more
  // arrives for a moment (the terminal passes what was written on asynchronously).
  std::string screen() {
    std::string s;
    char buf[4096];
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, 200) > 0) {
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) break;
      s.append(buf, static_cast<std::size_t>(n));
    }
    return s;
  }

 private:
  int master_ = -1, slave_ = -1;
  std::string path_;
};

}  // namespace kvax::test
