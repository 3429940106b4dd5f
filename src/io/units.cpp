// Units: the buffered connection of a unit number to a file, and the unit table.
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <kvax/io/iostat.h>
#include <kvax/io/units.h>

#include "io/unit.h"
#include "testing.h"

namespace kvax {
namespace {

// Every unit starts with a small buffer, enough for a report, a header or a small grid,
// and grows it once to the full size the first time it fills (one allocation, cheap to
// start). The full size is large enough that a text row of a 4320-cell grid goes through
// in one system call, small enough that what the kernel copies in is still in the core's
// cache when the fields are read from it (a 1 MiB buffer made whole conversions 10 to
// 30 % slower). A file is written in pieces that end at multiples of spill_align: the
// page cache then takes whole large pages, none written in part (writing 56 MB in
// 128 KiB pieces a few bytes off those offsets took 1.3 times as long); the bytes past
// the last such offset move to the front of the buffer, so it holds that much more.
constexpr std::size_t first_buffer_size = std::size_t{16} << 10;
constexpr std::size_t spill_align = std::size_t{128} << 10;
constexpr std::size_t buffer_size = spill_align + (std::size_t{32} << 10);

bool upper_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c != b[i]) return false;
  }
  return true;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

struct Table {
  std::unordered_map<int, std::unique_ptr<Unit>> units;
  std::unordered_map<int, bool> replace_whole;  // unit numbers that replace their files whole
  Unit* last = nullptr;
  std::string* capture = nullptr;  // captured standard output: its store
  std::string feed;                // fed standard input: its bytes
  bool fed = false;
};

Table& table() {
  static Table t;
  return t;
}

// The store of standard input or output: its descriptor, or what the tests put there.
std::unique_ptr<Store> standard_store(int number) {
  const Table& t = table();
  if (number == 6 && t.capture) return memory_store(t.capture);
  if (number == 5 && t.fed) return memory_store(t.feed);
  return descriptor_store(number == 5 ? 0 : 1, false, false);
}

std::unique_ptr<Unit> standard_unit(int number) {
  auto u = std::make_unique<Unit>(number, standard_store(number));
  u->readable = number == 5;
  u->writable = number == 6;
  return u;
}

// The descriptor that a name of one of this process's descriptors designates
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N ...), or -1 for any other name.
int descriptor_of_name(std::string_view name) {
  if (name == "/dev/stdin") return 0;
  if (name == "/dev/stdout") return 1;
  if (name == "/dev/stderr") return 2;
  const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string_view dir : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                     std::string_view("/proc/thread-self/fd/"), std::string_view(own)}) {
    if (!name.starts_with(dir)) continue;
    const std::string_view digits = name.substr(dir.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return -1;
    return std::stoi(std::string(digits));
  }
  return -1;
}

std::string directory_part(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// What an output name designates, found before anything is written.
struct OutputTarget {
  std::string path;     // the file, symbolic links followed (also to a file not there yet)
  int descriptor = -1;  // one of this process's descriptors
  bool magic = false;   // a link of /proc, whose text is no path: opened as it is
  int error = 0;        // ELOOP: the links go round
};

OutputTarget final_target(std::string name) {
  for (int hop = 0; hop < 40; ++hop) {
    if (const int fd = descriptor_of_name(name); fd >= 0) return {name, fd};
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {name};
    const std::string dir = directory_part(name);
    struct statfs fs {};
    if (::statfs(dir.empty() ? "." : dir.c_str(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC)
      return {name, -1, true};
    char link[PATH_MAX];
    const ssize_t n = ::readlink(name.c_str(), link, sizeof link - 1);
    if (n <= 0) return {name};
    std::string to(link, static_cast<std::size_t>(n));
    name = to[0] == '/' ? std::move(to) : dir + to;
  }
  return {name, -1, false, ELOOP};
}

// Every signal held back while a new file is made and remembered, put in place or
// removed, so that none can come between the two steps.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t before_;
};

// The names of the new hidden files not yet committed, with the descriptors of their
// directories, in fixed storage that a signal handler may read; a slot is in use while
// its name is not empty.
struct PendingSlot {
  int dir;
  char name[NAME_MAX + 1];
};
constexpr int pending_slots = 8;
PendingSlot pending[pending_slots];

// Writers on several threads (units of their own) take slots one at a time; the signal
// handler only reads them.
std::mutex pending_lock;

void remember_pending(int dir, const std::string& name) {
  const std::lock_guard hold(pending_lock);
  for (PendingSlot& slot : pending) {
    if (slot.name[0] == '\0' && name.size() < sizeof slot.name) {
      slot.dir = dir;
      std::memcpy(slot.name, name.c_str(), name.size() + 1);
      return;
    }
  }
}

void forget_pending(int dir, const std::string& name) {
  const std::lock_guard hold(pending_lock);
  for (PendingSlot& slot : pending)
    if (slot.dir == dir && name == slot.name) slot.name[0] = '\0';
}

// The hidden name of a new file for the output `base`: ".base.kvax-" and six letters.
std::string hidden_prefix(std::string base) {
  if (base.size() > 200) base.resize(200);  // room for the marks within a file name's 255 bytes
  return "." + base + ".kvax-";
}

// Creates a new hidden file in dir for the output `base`, locked while this run lives,
// so that a later run can tell it from one left by a killed run. 0 or errno.
int create_hidden(int dir, const std::string& base, int& fd, std::string& name) {
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char r[6];
    if (::getrandom(r, sizeof r, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof r)) {
      timespec ts {};
      ::clock_gettime(CLOCK_MONOTONIC, &ts);
      std::uint64_t x = static_cast<std::uint64_t>(ts.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32) ^
                        static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15ull;
      for (unsigned char& c : r) c = static_cast<unsigned char>(x >>= 7);
    }
    name = hidden_prefix(base);
    for (unsigned char c : r) name += letters[c % 62];
    fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
      ::flock(fd, LOCK_EX | LOCK_NB);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Removes the hidden files beside the output `base` that a killed run left: not locked
// by a live run and last written more than a minute ago. Their names, after `shown`.
void remove_stale(int dir, const std::string& base, const std::string& shown, std::vector<std::string>& removed) {
  const int list = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (list < 0) return;
  DIR* d = ::fdopendir(list);
  if (!d) {
    ::close(list);
    return;
  }
  const std::string prefix = hidden_prefix(base);
  const time_t now = ::time(nullptr);
  while (const dirent* e = ::readdir(d)) {
    const std::string_view n = e->d_name;
    if (n.size() != prefix.size() + 6 || !n.starts_with(prefix)) continue;
    const int fd = ::openat(dir, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime < now - 60 &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dir, e->d_name, 0) == 0)
      removed.push_back(shown + std::string(n));
    ::close(fd);
  }
  ::closedir(d);
}

// A file of another user in a sticky directory of a third, which only its owner or the
// directory's may rename or remove.
bool rename_refused(int dir, const struct stat& file) {
  struct stat d {};
  const uid_t me = ::geteuid();
  return ::fstat(dir, &d) == 0 && (d.st_mode & S_ISVTX) && me != 0 && file.st_uid != me && d.st_uid != me;
}

// An unnamed file for the new content of an output that is copied into place: under
// TMPDIR (or /tmp), else in memory. The descriptor, or -errno.
int unnamed_file() {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = tmp && *tmp ? tmp : "/tmp";
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string name = dir + "/kvax-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) fd = ::memfd_create("kvax-output", MFD_CLOEXEC);
  return fd >= 0 ? fd : -errno;
}

// Opens the new file of a whole replacement of target: 0 with the descriptor and how it
// is put in place, -1 when the target is to be written directly (not a regular file, a
// file that may not be written), or an I/O status. The new file is a hidden file beside
// the target, renamed over it at the commit; where that cannot be (a directory that may
// not be written, a sticky directory) an unnamed file elsewhere, copied into the target.
int open_replacement(const std::string& target, std::string_view status, int& fd, Unit::Replacement& r,
                     std::vector<std::string>& stale) {
  const std::string dir_name = directory_part(target);
  const std::string base = target.substr(dir_name.size());
  if (base.empty()) return -1;  // "name/": opened as it is, where a directory is refused
  const int dir = ::open(dir_name.empty() ? "." : dir_name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  const auto fail = [&](int rc) {
    ::close(dir);
    return rc;
  };
  struct stat st {};
  const bool exists = ::fstatat(dir, base.c_str(), &st, 0) == 0;
  if (!exists && errno != ENOENT) return fail(errno);
  if (exists && !S_ISREG(st.st_mode)) return fail(-1);
  if (exists && ::faccessat(dir, base.c_str(), W_OK, AT_EACCESS) != 0) return fail(-1);
  if (exists && upper_equal(status, "NEW")) return fail(iostat::new_file_exists);
  if (!exists && upper_equal(status, "OLD")) return fail(ENOENT);

  if (!exists || !rename_refused(dir, st)) {
    remove_stale(dir, base, dir_name, stale);
    std::string hidden;
    const int rc = create_hidden(dir, base, fd, hidden);
    if (rc == 0) {
      remember_pending(dir, hidden);
      if (exists) {
        [[maybe_unused]] const int owner = ::fchown(fd, st.st_uid, st.st_gid);  // may be refused; the bits still hold
        ::fchmod(fd, st.st_mode & 07777);
      } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
      }
      r = {dir, std::move(hidden), base, -1};
      return 0;
    }
    if (!exists || (rc != EACCES && rc != EPERM && rc != EROFS)) return fail(rc);
  }
  // Written in place at the end: the output's descriptor is taken now (it is not cut).
  // Not blocking: a FIFO put there since would wait for a reader with the signals held.
  const int into = ::openat(dir, base.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  ::close(dir);
  if (into < 0) return -1;
  if (::fstat(into, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(into);
    return -1;
  }
  fd = unnamed_file();
  if (fd < 0) {
    ::close(into);
    return -fd;
  }
  r = {-1, {}, {}, into};
  return 0;
}

// Copies the whole of `from` into `into` and ends `into` there. Room is asked for first,
// so that a full disk shows before the first byte of the output changes.
int copy_into(int from, int into) {
  struct stat st {};
  if (::fstat(from, &st) != 0) return errno;
  const off_t size = st.st_size;
  if (size > 0 && ::fallocate(into, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP && errno != ENOSYS &&
      errno != EINVAL)
    return errno;
  const std::size_t chunk = std::size_t{1} << 20;
  std::unique_ptr<char[]> buf(new char[chunk]);
  for (off_t at = 0; at < size;) {
    const ssize_t n = ::pread(from, buf.get(), std::min<off_t>(chunk, size - at), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::pwrite(into, buf.get() + done, static_cast<std::size_t>(n - done), at + done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return w < 0 ? errno : EIO;
      done += w;
    }
    at += n;
  }
  return ::ftruncate(into, size) == 0 ? 0 : errno;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Unit

Unit::Unit(int number, int fd, bool seekable) : Unit(number, descriptor_store(fd, seekable, true)) {}

Unit::Unit(int number, std::unique_ptr<Store> store) : number_(number), store_(std::move(store)) {}

Unit::~Unit() {
  flush();
  store_.reset();
  discard();
}

void Unit::set_store(std::unique_ptr<Store> store) {
  flush();
  store_ = std::move(store);
}

long Unit::raw_read(char* dst, std::size_t n, std::int64_t at) { return store_->read(dst, n, at); }

void Unit::ensure_buffer() {
  if (!buf_) {
    buf_.reset(new char[first_buffer_size]);
    cap_ = first_buffer_size;
  }
}

bool Unit::grow() {
  if (cap_ >= buffer_size) return false;
  std::unique_ptr<char[]> grown(new char[buffer_size]);
  std::memcpy(grown.get(), buf_.get(), cap_);
  buf_ = std::move(grown);
  cap_ = buffer_size;
  return true;
}

bool Unit::refill() {
  ensure_buffer();
  if (len_ == cap_) grow();  // a file longer than the first buffer
  // A stream cannot be read again: keep the record begun last, so that it can be stepped
  // back over (a record of more than half the buffer cannot).
  std::size_t keep = 0;
  if (!store_->positioned() && record_mark_ >= base_) {
    keep = static_cast<std::size_t>(base_ + static_cast<std::int64_t>(len_) - record_mark_);
    if (keep > cap_ / 2) keep = 0;
    if (keep > 0) std::memmove(buf_.get(), buf_.get() + len_ - keep, keep);
  }
  base_ += static_cast<std::int64_t>(len_ - keep);
  cur_ = keep;
  len_ = keep;
  const long r = raw_read(buf_.get() + keep, cap_ - keep, base_ + static_cast<std::int64_t>(keep));
  if (r < 0) fatal_io(static_cast<int>(-r), "READ", number_);
  len_ += static_cast<std::size_t>(r);
  return r > 0;
}

void Unit::to_reading() {
  if (mode_ == Mode::reading) return;
  if (mode_ == Mode::writing) {
    if (int e = flush()) fatal_io(e, "WRITE", number_);
  }
  len_ = 0;
  cur_ = 0;
  mode_ = Mode::reading;
  cut_pending_ = true;
}

void Unit::to_writing() {
  if (mode_ == Mode::writing) return;
  if (!writable) fatal_io(iostat::read_only, "WRITE", number_);
  base_ = position();
  cur_ = 0;
  len_ = 0;
  ensure_buffer();
  mode_ = Mode::writing;
  known_size_ = -1;
  // A sequential file ends with what was written last: the old rest goes at the first
  // write, so a file whose writing stops early is short, never old rows under new ones.
  if (cut_pending_ && store_->positioned() && store_->size() > base_) {
    if (const int e = store_->truncate(base_)) fatal_io(e, "WRITE", number_);
  }
  cut_pending_ = false;
}

long Unit::read(void* dst, std::size_t n) {
  to_reading();
  char* out = static_cast<char*>(dst);
  std::size_t done = 0;
  while (done < n) {
    if (cur_ == len_) {
      if (n - done >= buffer_size && buf_) {
        // Large items go straight into place.
        base_ += static_cast<std::int64_t>(len_);
        cur_ = len_ = 0;
        const long r = raw_read(out + done, n - done, base_);
        if (r < 0) fatal_io(static_cast<int>(-r), "READ", number_);
        if (r == 0) break;
        base_ += r;
        done += static_cast<std::size_t>(r);
        continue;
      }
      if (!refill()) break;
    }
    const std::size_t k = std::min(n - done, len_ - cur_);
    std::memcpy(out + done, buf_.get() + cur_, k);
    cur_ += k;
    done += k;
  }
  return static_cast<long>(done);
}

void Unit::write(const void* src, std::size_t n) {
  to_writing();
  if (n == 0) return;  // an empty item list (a row of no cells) has no bytes, maybe no address
  const char* in = static_cast<const char*>(src);
  if (cur_ + n > cap_ && in_record_ && framed && !store_->positioned()) make_room_in_record(n);
  // A write that fails is kept as the unit's first error, and what follows is dropped:
  // the flush that ends the writing (every writer flushes before it reports) and the
  // close report it, so that a failing output is told at one place whatever its size.
  if (cur_ + n > cap_) {
    spill(n);
    if (n >= cap_) {
      // Larger than the buffer: through the buffer in pieces.
      while (n > 0) {
        const std::size_t k = std::min(n, cap_);
        std::memcpy(buf_.get(), in, k);
        cur_ = k;
        drain();
        in += k;
        n -= k;
      }
      return;
    }
  }
  std::memcpy(buf_.get() + cur_, in, n);
  cur_ += n;
}

void Unit::write_pieces(std::span<const BytePiece> pieces) {
  to_writing();
  if (!store_->direct() || in_record_) {
    for (const BytePiece& p : pieces) write(p.data, p.size);
    return;
  }
  drain();
  constexpr std::size_t batch = 256;
  iovec iov[batch];
  for (std::size_t i = 0; i < pieces.size();) {
    std::size_t m = 0, bytes = 0;
    for (; i < pieces.size() && m < batch; ++i) {
      if (pieces[i].size == 0) continue;
      iov[m++] = iovec{const_cast<void*>(pieces[i].data), pieces[i].size};
      bytes += pieces[i].size;
    }
    // The first failure is kept.
    if (error_ == 0) error_ = store_->write(iov, static_cast<int>(m), base_);
    base_ += static_cast<std::int64_t>(bytes);
  }
}

// A stream cannot go back to fill in a leading marker: the record being written stays in
// the buffer, which grows to hold it, and goes out when its markers are both known.
void Unit::make_room_in_record(std::size_t n) {
  const std::size_t start = static_cast<std::size_t>(record_start_ - base_);
  if (start > 0) {
    const std::size_t held = cur_;
    cur_ = start;  // the bytes before the record go out now
    if (int e = drain()) fatal_io(e, "WRITE", number_);
    std::memmove(buf_.get(), buf_.get() + start, held - start);
    cur_ = held - start;
  }
  if (cur_ + n > cap_) {
    std::size_t cap = cap_;
    while (cap < cur_ + n) cap *= 2;
    std::unique_ptr<char[]> grown(new char[cap]);
    std::memcpy(grown.get(), buf_.get(), cur_);
    buf_ = std::move(grown);
    cap_ = cap;
  }
}

int Unit::flush() { return drain(); }

void Unit::spill(std::size_t n) {
  if (grow() && cur_ + n <= cap_) return;
  if (store_->direct() && store_->positioned()) {
    const std::int64_t end = base_ + static_cast<std::int64_t>(cur_);
    const std::int64_t stop = end - end % static_cast<std::int64_t>(spill_align);
    const std::size_t rest = static_cast<std::size_t>(end - stop);
    if (stop > base_ && rest + n <= cap_) {
      const std::size_t held = cur_;
      cur_ = static_cast<std::size_t>(stop - base_);
      drain();
      std::memmove(buf_.get(), buf_.get() + (held - rest), rest);
      cur_ = rest;
      return;
    }
  }
  drain();
}

int Unit::drain() {
  if (mode_ != Mode::writing || cur_ == 0) return error_;
  if (error_ == 0) {
    const iovec all{buf_.get(), cur_};
    error_ = store_->write(&all, 1, base_);
  }
  base_ += static_cast<std::int64_t>(cur_);
  cur_ = 0;
  return error_;
}

int Unit::seek(std::int64_t pos, bool keep_rest) {
  if (keep_rest && mode_ == Mode::reading && pos == position()) {  // staying: the buffer stays
    cut_pending_ = false;
    return 0;
  }
  if (mode_ == Mode::writing) {
    if (int e = flush()) return e;
  }
  if (!store_->positioned()) return move_within_read(pos) ? 0 : ESPIPE;
  base_ = pos < 0 ? 0 : pos;
  cur_ = len_ = 0;
  mode_ = Mode::idle;
  cut_pending_ = !keep_rest;
  return 0;
}

std::int64_t Unit::size(bool fresh) {
  if (!store_->positioned()) return -1;
  if (!fresh && mode_ != Mode::writing && known_size_ >= 0) return known_size_;
  std::int64_t s = store_->size();
  if (s < 0) return -1;
  if (mode_ != Mode::writing) known_size_ = s;
  if (mode_ == Mode::writing) s = std::max(s, position());
  return s;
}

bool Unit::read_line(std::string_view& line) {
  to_reading();
  bool partial = false;
  line_.clear();
  record_mark_ = position();
  unended_ = false;
  for (;;) {
    if (cur_ == len_ && !refill()) {
      if (!partial) return false;
      line = line_;
      unended_ = true;
      break;
    }
    const char* s = buf_.get() + cur_;
    const std::size_t avail = len_ - cur_;
    const void* nl = std::memchr(s, '\n', avail);
    if (nl) {
      const std::size_t k = static_cast<std::size_t>(static_cast<const char*>(nl) - s);
      if (partial) {
        line_.append(s, k);
        line = line_;
      } else {
        line = std::string_view(s, k);
      }
      cur_ += k + 1;
      break;
    }
    if (line_.size() + avail > max_record_length) fatal_io(iostat::record_too_long, "READ", number_);
    line_.append(s, avail);
    partial = true;
    cur_ = len_;
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

const char* Unit::whole_lines(std::size_t n, std::size_t max, std::size_t& count) {
  count = 0;
  to_reading();
  if (cur_ == len_ && !refill()) return nullptr;
  const char* s = buf_.get() + cur_;
  const std::size_t fit = std::min(max, (len_ - cur_) / (n + 1));
  while (count < fit && s[count * (n + 1) + n] == '\n') ++count;
  return s;
}

void Unit::take_lines(std::size_t n, std::size_t k) {
  if (k == 0) return;
  cur_ += (k - 1) * (n + 1);
  record_mark_ = position();  // the last line taken is the line read last
  cur_ += n + 1;
  line_.clear();
  unended_ = false;
}

void Unit::write_line(const char* data, std::size_t n, bool line_end) {
  to_writing();
  if (cur_ + n + 1 <= cap_) {
    if (n) std::memcpy(buf_.get() + cur_, data, n);  // an empty record may come without an address
    cur_ += n;
    if (line_end) buf_[cur_++] = '\n';
    return;
  }
  write(data, n);
  if (line_end) write("\n", 1);
}

char* Unit::room(std::size_t n) {
  to_writing();
  ensure_buffer();
  if (cur_ + n > cap_) spill(n);  // a failed write is kept for the flush, as in write()
  if (cur_ + n > cap_) return nullptr;
  return buf_.get() + cur_;
}

bool Unit::move_within_read(std::int64_t pos) {
  if (mode_ != Mode::reading || pos < base_ || pos > base_ + static_cast<std::int64_t>(len_)) return false;
  cur_ = static_cast<std::size_t>(pos - base_);
  return true;
}

int Unit::move_in_record(std::int64_t pos) {
  if (!move_within_read(pos)) return seek(pos);
  cut_pending_ = true;  // as after a seek
  return 0;
}

int Unit::step_back_in_buffer() {
  if (mode_ == Mode::reading && record_mark_ >= base_ && record_mark_ <= position()) return seek(record_mark_);
  return ESPIPE;
}

int Unit::backspace_line() {
  if (mode_ == Mode::writing) {
    if (int e = flush()) return e;
  }
  if (!store_->positioned()) return step_back_in_buffer();
  std::int64_t p = position();
  if (p <= 0) return 0;
  // Step over the line feed that ends the previous line, then find the one before it.
  char c = 0;
  if (raw_read(&c, 1, p - 1) == 1 && c == '\n') --p;
  char chunk[4096];
  std::int64_t start = 0;
  while (p > 0) {
    const std::int64_t from = std::max<std::int64_t>(0, p - static_cast<std::int64_t>(sizeof chunk));
    const long r = raw_read(chunk, static_cast<std::size_t>(p - from), from);
    if (r <= 0) return r < 0 ? static_cast<int>(-r) : 0;
    const void* nl = nullptr;
    for (long k = r - 1; k >= 0; --k) {
      if (chunk[k] == '\n') {
        nl = chunk + k;
        break;
      }
    }
    if (nl) {
      start = from + (static_cast<const char*>(nl) - chunk) + 1;
      break;
    }
    p = from;
  }
  return seek(start);
}

std::uint32_t Unit::marker(const unsigned char* p) const {
  return record_marker(reinterpret_cast<const std::byte*>(p), big_endian);
}

void Unit::put_marker(unsigned char* p, std::uint32_t v) const {
  for (int k = 0; k < 4; ++k) {
    const unsigned char b = static_cast<unsigned char>(v >> (8 * k));
    p[big_endian ? 3 - k : k] = b;
  }
}

int Unit::begin_record(std::uint32_t& length) {
  if (!framed) {
    length = UINT32_MAX;
    if (const std::int64_t s = size(); s >= 0 && position() >= s && position() >= size(true))
      return iostat::end_of_file;
    return 0;
  }
  unsigned char m[4];
  record_mark_ = position();
  const long r = read(m, 4);
  if (r < 4) return iostat::end_of_file;
  length = marker(m);
  // The size known from before, looked at again only when the record seems to pass it.
  const std::int64_t need = position() + static_cast<std::int64_t>(length) + 4;
  std::int64_t s = size();
  if (s >= 0 && need > s) s = size(true);
  if (s >= 0 && need > s) {
    // The file ends inside this record: as far as the reader goes, the data end here.
    seek(s);
    return iostat::end_of_file;
  }
  return 0;
}

int Unit::end_record(std::uint32_t length, std::uint32_t consumed) {
  if (!framed) return 0;
  const std::int64_t rest = static_cast<std::int64_t>(length) - consumed;
  if (rest > 0) {
    if (store_->positioned()) {
      move_in_record(position() + rest);
    } else {
      char sink[4096];
      std::int64_t left = rest;
      while (left > 0) {
        const long r = read(sink, static_cast<std::size_t>(std::min<std::int64_t>(left, sizeof sink)));
        if (r <= 0) return iostat::corrupt_record;
        left -= r;
      }
    }
  }
  unsigned char m[4];
  if (read(m, 4) < 4 || marker(m) != length) return iostat::corrupt_record;
  return 0;
}

int Unit::backspace_record() {
  if (mode_ == Mode::writing) {
    if (int e = flush()) return e;
  }
  if (!framed) return 0;
  if (!store_->positioned()) return step_back_in_buffer();
  const std::int64_t p = position();
  if (p < 4) return 0;
  unsigned char m[4];
  if (mode_ == Mode::reading && p - 4 >= base_) {
    std::memcpy(m, buf_.get() + (cur_ - 4), 4);
  } else if (raw_read(reinterpret_cast<char*>(m), 4, p - 4) != 4) {
    return iostat::corrupt_record;
  }
  const std::int64_t start = p - 8 - static_cast<std::int64_t>(marker(m));
  if (start < 0) return iostat::corrupt_record;
  return move_in_record(start);
}

void Unit::begin_write_record() {
  to_writing();
  record_start_ = position();
  in_record_ = true;
  if (framed) {
    const unsigned char zero[4] = {0, 0, 0, 0};
    write(zero, 4);
  }
}

void Unit::finish_write_record() {
  in_record_ = false;
  if (!framed) return;
  const std::int64_t n = position() - record_start_ - 4;
  if (n > static_cast<std::int64_t>(UINT32_MAX)) fatal_io(iostat::record_overflow, "WRITE", number_);
  unsigned char m[4];
  put_marker(m, static_cast<std::uint32_t>(n));
  write(m, 4);
  if (record_start_ >= base_) {
    std::memcpy(buf_.get() + (record_start_ - base_), m, 4);
  } else if (error_ == 0) {
    // The record outgrew the buffer: its leading marker is already in the file.
    const iovec marker{m, 4};
    if (const int e = store_->positioned() ? store_->write(&marker, 1, record_start_) : ESPIPE)
      fatal_io(e, "WRITE", number_);
  }
}

int Unit::rewind() { return seek(0); }

int Unit::endfile() {
  if (mode_ == Mode::writing) {
    if (int e = flush()) return e;
  }
  known_size_ = -1;
  if (store_->positioned()) {
    if (const int e = store_->truncate(position())) return e;
  }
  cut_pending_ = false;
  return 0;
}

int Unit::commit() {
  if (!replacing()) return 0;
  int e = flush();
  if (e == 0) {
    const SignalsHeld held;
    Replacement& r = replacement_;
    if (r.dir >= 0) {
      if (::renameat(r.dir, r.hidden.c_str(), r.dir, r.name.c_str()) == 0) {
        forget_pending(r.dir, r.hidden);
        ::close(r.dir);
        r = {};
        return 0;
      }
      e = errno;
    } else {
      e = copy_into(store_->descriptor(), r.into);
      if (e == 0) {
        ::close(r.into);
        r = {};
        return 0;
      }
    }
  }
  discard();
  return e;
}

void Unit::discard() {
  if (!replacing()) return;
  const SignalsHeld held;
  Replacement& r = replacement_;
  if (r.dir >= 0) {
    ::unlinkat(r.dir, r.hidden.c_str(), 0);
    forget_pending(r.dir, r.hidden);
    ::close(r.dir);
  }
  if (r.into >= 0) ::close(r.into);
  r = {};
}

namespace {

// An output as open_unit opens it for writing: through one of this process's descriptors
// that the name designates, or (with whole replacement) as a new file put in place at the
// commit. 0 with what was opened, -1 when the name is to be opened directly, or an I/O
// status. Safe on several threads at once.
struct OutputOpen {
  int fd = -1;
  bool through_descriptor = false;
  bool writable = true;
  Unit::Replacement replacement;
  std::vector<std::string> stale;
};

int open_output(const std::string& name, std::string_view status, bool replace_whole, OutputOpen& o) {
  const OutputTarget target = replace_whole ? final_target(name) : OutputTarget{name, descriptor_of_name(name)};
  if (target.error) return target.error;
  if (target.descriptor >= 0) {
    // Written through the descriptor itself, in turn from where it stands: a pipe
    // streams, a file opened for appending is appended to, nothing is replaced or cut.
    o.fd = ::fcntl(target.descriptor, F_DUPFD_CLOEXEC, 3);
    if (o.fd < 0) return errno;
    o.through_descriptor = true;
    o.writable = (::fcntl(o.fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
    return 0;
  }
  if (!replace_whole || target.magic) return -1;
  const SignalsHeld held;
  return open_replacement(target.path, status, o.fd, o.replacement, o.stale);
}

}  // namespace

int open_own_output(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<Unit>& u) {
  if (name.empty()) return ENOENT;
  OutputOpen o;
  const int rc = open_output(name, "UNKNOWN", true, o);
  if (rc > 0) return rc;
  bool seekable = !o.through_descriptor;
  if (rc < 0) {
    // Not a regular file (a device, a FIFO): written directly, as a stream.
    o.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (o.fd < 0) return errno;
    struct stat st {};
    seekable = ::fstat(o.fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
  }
  u = std::make_unique<Unit>(own_unit, o.fd, seekable);
  u->file = name;
  u->formatted = formatted;
  u->big_endian = big_endian;
  u->readable = false;
  u->writable = o.writable;
  if (rc == 0 && !o.through_descriptor) u->replace(std::move(o.replacement));
  return 0;
}

int open_own_input(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<Unit>& u) {
  if (name.empty()) return ENOENT;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return e;
  }
  u = std::make_unique<Unit>(own_unit, fd, S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
  u->file = name;
  u->formatted = formatted;
  u->big_endian = big_endian;
  u->writable = false;
  return 0;
}

// ---------------------------------------------------------------------------------------
// The unit table

Unit* find_unit(int number) {
  Table& t = table();
  if (t.last && t.last->number() == number) return t.last;
  auto it = t.units.find(number);
  if (it == t.units.end()) {
    if (number != 5 && number != 6) return nullptr;
    it = t.units.emplace(number, standard_unit(number)).first;
  }
  t.last = it->second.get();
  return t.last;
}

int open_unit(int number, const OpenSpec& spec) {
  if (number < 0) return iostat::bad_unit;
  const std::string_view status = trim_blanks(spec.status);
  const std::string_view form = trim_blanks(spec.form);
  bool formatted;
  if (upper_equal(form, "FORMATTED")) {
    formatted = true;
  } else if (upper_equal(form, "UNFORMATTED")) {
    formatted = false;
  } else {
    return iostat::bad_form;
  }
  bool big = false;
  if (!formatted) {
    const std::string_view conv = trim_blanks(spec.convert);
    if (upper_equal(conv, "BIG_ENDIAN")) {
      big = true;
    } else if (!upper_equal(conv, "LITTLE_ENDIAN")) {
      return iostat::bad_endian;
    }
    if (spec.record_framing != -1 && spec.record_framing != 0) return iostat::bad_recordtype;
  }
  int flags;
  if (upper_equal(status, "NEW")) {
    flags = O_CREAT | O_EXCL;
  } else if (upper_equal(status, "OLD")) {
    flags = 0;
  } else if (upper_equal(status, "UNKNOWN")) {
    flags = O_CREAT;
  } else {
    return iostat::bad_status;
  }
  std::string name(trim_blanks(spec.file));
  if (name.empty()) return ENOENT;
  if (find_unit(number) && !(number == 5 || number == 6)) close_unit(number);

  Table& t = table();
  const auto connect = [&](int fd, bool seekable) -> Unit& {
    auto u = std::make_unique<Unit>(number, fd, seekable);
    u->formatted = formatted;
    u->big_endian = big;
    u->framed = formatted || spec.record_framing == -1;
    u->file = name;
    Unit& unit = *u;
    t.units[number] = std::move(u);
    t.last = nullptr;
    return unit;
  };
  if (!spec.read_only) {
    OutputOpen o;
    const int rc = open_output(name, status, t.replace_whole[number], o);
    if (rc > 0) return rc;
    if (rc == 0) {
      Unit& u = connect(o.fd, !o.through_descriptor);
      u.writable = o.writable;
      if (!o.through_descriptor) {
        u.replace(std::move(o.replacement));
        u.stale_removed = std::move(o.stale);
      }
      return 0;
    }
  }

  // A unit that only reads is never opened for writing: a FIFO or a pipe opened so would
  // hold its own writer and never come to its end. An existing FIFO or pipe opened as an
  // old file is read the same way: it is an input.
  struct stat before {};
  const bool read_only = spec.read_only || (upper_equal(status, "OLD") && ::stat(name.c_str(), &before) == 0 &&
                                            S_ISFIFO(before.st_mode));
  int fd = read_only ? -1 : ::open(name.c_str(), O_RDWR | O_CLOEXEC | flags, 0666);
  bool writable = !read_only;
  if (read_only) {
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | (flags & ~O_EXCL), 0666);
    if (fd < 0) return errno;
  } else if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EISDIR || errno == ETXTBSY)) {
    // An existing file that may not be written is opened for reading only.
    const int first = errno;
    fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | (flags & ~O_CREAT & ~O_EXCL));
    if (fd < 0) return errno == ENOENT ? first : errno;
    writable = false;
  }
  if (fd < 0) return errno == EEXIST ? iostat::new_file_exists : errno;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  const bool seekable = S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
  connect(fd, seekable).writable = writable;
  return 0;
}

void close_unit(int number) {
  Table& t = table();
  auto it = t.units.find(number);
  if (it == t.units.end()) return;
  int e = it->second->commit();
  if (e == 0) e = it->second->flush();
  t.units.erase(it);
  t.last = nullptr;
  if (e) fatal_io(e, "CLOSE", number);
}

void close_all_units() {
  Table& t = table();
  // Every unit is flushed and closed even when one of them fails; the first failure
  // is reported after all are closed.
  int first = 0;
  int first_unit = 0;
  for (auto& [n, u] : t.units) {
    if (u->replacing()) {
      u->discard();  // the file it would replace stays as it was
      continue;
    }
    const int e = u->flush();
    if (e && !first) {
      first = e;
      first_unit = n;
    }
  }
  t.units.clear();
  t.last = nullptr;
  if (first) fatal_io(first, "WRITE", first_unit);
}

void flush_standard_output() {
  if (Unit* u = find_unit(6)) {
    if (int e = u->flush()) fatal_io(e, "WRITE", 6);
  }
}

void flush_unit(int number) {
  if (Unit* u = find_unit(number)) {
    if (int e = u->flush()) fatal_io(e, "WRITE", number);
  }
}

void replace_whole(int number, bool on) { table().replace_whole[number] = on; }

int commit_unit(int number) {
  Unit* u = find_unit(number);
  return u ? u->commit() : 0;
}

void remove_uncommitted_files() noexcept {
  for (const PendingSlot& slot : pending)
    if (slot.name[0] != '\0') ::unlinkat(slot.dir, slot.name, 0);
}

std::vector<std::string> stale_files_removed(int number) {
  Unit* u = find_unit(number);
  return u ? u->stale_removed : std::vector<std::string>{};
}

bool unit_is_writable(int number) {
  Unit* u = find_unit(number);
  return u && u->writable;
}

bool is_connected(int number) {
  if (number == 5 || number == 6) return true;
  return table().units.count(number) != 0;
}

int unit_of_file(std::string_view file) {
  const std::string name(trim_blanks(file));
  if (name.empty()) return -1;
  char want[PATH_MAX];
  if (!::realpath(name.c_str(), want)) return -1;
  for (auto& [n, u] : table().units) {
    if (u->file.empty()) continue;
    char have[PATH_MAX];
    if (::realpath(u->file.c_str(), have) && std::strcmp(have, want) == 0) return n;
  }
  return -1;
}

std::string file_of_unit(int number) {
  Unit* u = find_unit(number);
  return u ? u->file : std::string();
}

bool unit_is_formatted(int number) {
  Unit* u = find_unit(number);
  return u ? u->formatted : false;
}

int rewind_unit(int number) {
  Unit* u = find_unit(number);
  return u ? u->rewind() : 0;
}

int backspace_unit(int number) {
  Unit* u = find_unit(number);
  if (!u) return 0;
  return u->formatted ? u->backspace_line() : u->backspace_record();
}

int seek_unit(int number, std::int64_t offset) {
  Unit* u = find_unit(number);
  if (!u) return 0;
  if (!u->seekable()) return ESPIPE;
  return u->seek(offset, true);
}

long read_unit_bytes(int number, void* dst, std::size_t n) {
  Unit* u = find_unit(number);
  return u ? u->read(dst, n) : 0;
}

void write_unit_pieces(int number, std::span<const BytePiece> pieces) {
  if (Unit* u = find_unit(number)) u->write_pieces(pieces);
}

bool unit_is_big_endian(int number) {
  const Unit* u = find_unit(number);
  return u && u->big_endian;
}

std::uint32_t record_marker(const std::byte* marker, bool big_endian) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::to_integer<std::uint32_t>(marker[big_endian ? i : 3 - i]) << (8 * (3 - i));
  return v;
}

long read_unit_records(int number, std::span<std::byte> dst, std::size_t data, long n) {
  Unit* u = find_unit(number);
  const std::size_t size = framed_record_bytes(data);
  if (!u || u->formatted || !u->framed || n <= 0 || data > max_record_length ||
      dst.size() / size < static_cast<std::size_t>(n))
    return 0;
  // The unit must be able to go back, should a record not be one of these.
  const std::int64_t at = u->position();
  if (seek_unit(number, at) != 0) return 0;
  const std::size_t bytes = size * static_cast<std::size_t>(n);
  bool whole = u->read(dst.data(), bytes) == static_cast<long>(bytes);
  for (std::size_t i = 0; whole && i < static_cast<std::size_t>(n); ++i) {
    const auto* r = reinterpret_cast<const unsigned char*>(dst.data() + size * i);
    whole = u->marker(r) == data && u->marker(r + record_marker_bytes + data) == data;
  }
  if (!whole) {
    seek_unit(number, at);
    return 0;
  }
  return n;
}

void write_unit_records(int number, std::span<const std::byte> records, std::size_t data, long n,
                        RecordOrder order) {
  Unit* u = find_unit(number);
  if (!u || n <= 0) return;
  const std::size_t size = framed_record_bytes(data), m = record_marker_bytes;
  const std::size_t cut = order.turn < data ? order.turn : 0;
  // A record is its leading marker, the data from `cut` on, those before it and the
  // trailing marker; pieces that lie one after the other run together into one.
  constexpr std::size_t batch = 256;
  BytePiece pieces[batch];
  std::size_t count = 0;
  const auto put = [&](const std::byte* p, std::size_t bytes) {
    if (bytes == 0) return;
    if (count > 0 && static_cast<const std::byte*>(pieces[count - 1].data) + pieces[count - 1].size == p) {
      pieces[count - 1].size += bytes;
      return;
    }
    if (count == batch) {
      u->write_pieces(pieces);
      count = 0;
    }
    pieces[count++] = BytePiece{p, bytes};
  };
  const auto records_n = static_cast<std::size_t>(n);
  for (std::size_t t = 0; t < records_n; ++t) {
    const std::byte* r = records.data() + size * (order.reversed ? records_n - 1 - t : t);
    put(r, m);
    put(r + m + cut, data - cut);
    put(r + m, cut);
    put(r + m + data, m);
  }
  u->write_pieces(std::span<const BytePiece>(pieces, count));
}

std::int64_t unit_position(int number) {
  Unit* u = find_unit(number);
  return u ? u->position() : 0;
}

int endfile_unit(int number) {
  Unit* u = find_unit(number);
  return u ? u->endfile() : 0;
}

void collect_standard_output(std::string* sink) {
  table().capture = sink;
  if (Unit* u = find_unit(6)) u->set_store(standard_store(6));
}

void capture_standard_output(std::string* sink) { collect_standard_output(sink); }

void feed_standard_input(std::string_view text) {
  Table& t = table();
  t.feed.assign(text);
  t.fed = true;
  t.units.erase(5);
  t.last = nullptr;
}

}  // namespace kvax
