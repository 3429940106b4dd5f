// The stores under the units' buffers: a file descriptor, and memory.
#include "io/store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kvax {
namespace {

class DescriptorStore final : public Store {
 public:
  DescriptorStore(int fd, bool seekable, bool own) : fd_(fd), seekable_(seekable), own_(own) {}
  ~DescriptorStore() override {
    if (own_ && fd_ >= 0) ::close(fd_);
  }
  bool positioned() const override { return seekable_; }
  bool direct() const override { return true; }
  int descriptor() const override { return fd_; }

  long read(char* dst, std::size_t n, std::int64_t at) override {
    for (;;) {
      const ssize_t r = seekable_ ? ::pread(fd_, dst, n, at) : ::read(fd_, dst, n);
      if (r >= 0) return static_cast<long>(r);
      if (errno != EINTR) return -errno;
    }
  }

  int write(const iovec* pieces, int count, std::int64_t at) override {
    constexpr int batch = 256;  // well under IOV_MAX
    iovec iov[batch];
    for (int i = 0; i < count; i += batch) {
      const int m = std::min(batch, count - i);
      std::copy_n(pieces + i, m, iov);
      int first = 0;
      while (first < m) {
        const ssize_t r =
            seekable_ ? ::pwritev(fd_, iov + first, m - first, at) : ::writev(fd_, iov + first, m - first);
        if (r <= 0) {
          if (r < 0 && errno == EINTR) continue;
          return r < 0 ? errno : EIO;
        }
        std::size_t left = static_cast<std::size_t>(r);
        at += r;
        for (; first < m && left >= iov[first].iov_len; ++first) left -= iov[first].iov_len;
        if (first < m) {
          iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + left;
          iov[first].iov_len -= left;
        }
      }
    }
    return 0;
  }

  std::int64_t size() override {
    struct stat st {};
    if (!seekable_ || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
  }

  int truncate(std::int64_t at) override { return ::ftruncate(fd_, at) == 0 ? 0 : errno; }

 private:
  int fd_;
  bool seekable_;
  bool own_;
};

class MemoryStore final : public Store {
 public:
  explicit MemoryStore(std::string bytes) : own_(std::move(bytes)), bytes_(&own_), positioned_(true) {}
  explicit MemoryStore(std::string* sink) : bytes_(sink), positioned_(false) {}
  bool positioned() const override { return positioned_; }

  long read(char* dst, std::size_t n, std::int64_t at) override {
    if (!positioned_ || at >= static_cast<std::int64_t>(bytes_->size())) return 0;
    const std::size_t k = std::min(n, bytes_->size() - static_cast<std::size_t>(at));
    std::memcpy(dst, bytes_->data() + at, k);
    return static_cast<long>(k);
  }

  int write(const iovec* pieces, int count, std::int64_t at) override {
    for (int i = 0; i < count; ++i) {
      const char* p = static_cast<const char*>(pieces[i].iov_base);
      if (!positioned_) {
        bytes_->append(p, pieces[i].iov_len);
        continue;
      }
      const std::size_t end = static_cast<std::size_t>(at) + pieces[i].iov_len;
      if (bytes_->size() < end) bytes_->resize(end);
      std::memcpy(bytes_->data() + at, p, pieces[i].iov_len);
      at += static_cast<std::int64_t>(pieces[i].iov_len);
    }
    return 0;
  }

  std::int64_t size() override { return positioned_ ? static_cast<std::int64_t>(bytes_->size()) : -1; }

  int truncate(std::int64_t at) override {
    if (positioned_) bytes_->resize(static_cast<std::size_t>(at));
    return 0;
  }

 private:
  std::string own_;
  std::string* bytes_;
  bool positioned_;
};

}  // namespace

std::unique_ptr<Store> descriptor_store(int fd, bool seekable, bool own) {
  return std::make_unique<DescriptorStore>(fd, seekable, own);
}
std::unique_ptr<Store> memory_store(std::string bytes) { return std::make_unique<MemoryStore>(std::move(bytes)); }
std::unique_ptr<Store> memory_store(std::string* sink) { return std::make_unique<MemoryStore>(sink); }

}  // namespace kvax
