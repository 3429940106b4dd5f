// Where a unit's bytes live, under its buffer: a file descriptor, or memory (the store
// that tests put under standard input and output). The buffer asks a store for bytes at
// offsets and hands it bytes at offsets; records, lines and positions stay the unit's.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kvax {

class Store {
 public:
  virtual ~Store() = default;
  // Bytes can be read again and written at any offset (a regular file, a block device,
  // memory fed in advance); a stream (a pipe, a terminal) takes and gives them in order,
  // and the offsets of read and write are then only counted.
  virtual bool positioned() const = 0;
  // Up to n bytes at offset `at`: the count, 0 at the end, or -errno.
  virtual long read(char* dst, std::size_t n, std::int64_t at) = 0;
  // The pieces one after another at offset `at`, whole (partial writes go on where they
  // stopped): 0 or errno.
  virtual int write(const iovec* pieces, int count, std::int64_t at) = 0;
  // The size, or -1 where it cannot be known.
  virtual std::int64_t size() = 0;
  // Ends the store at offset `at`: 0 or errno.
  virtual int truncate(std::int64_t at) = 0;
  // The bytes go to the system: a gathered write saves copying them into the buffer, and
  // on a positioned store writes that end at the page cache's large pages pay.
  virtual bool direct() const { return false; }
  // The file descriptor, or -1.
  virtual int descriptor() const { return -1; }
};

// A file descriptor; closed with the store when it is its own.
std::unique_ptr<Store> descriptor_store(int fd, bool seekable, bool own);
// Memory: bytes fed in advance, positioned (a fed standard input), or a stream appended
// to *sink (a captured standard output).
std::unique_ptr<Store> memory_store(std::string bytes);
std::unique_ptr<Store> memory_store(std::string* sink);

}  // namespace kvax
