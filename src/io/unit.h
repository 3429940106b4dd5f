// One connection of a logical unit to a file: a byte buffer over the unit's store (a file
// descriptor, or memory), the record framing of unformatted records and the lines of
// formatted ones.
// The buffer knows nothing about records; the record functions below own the length
// markers, the byte order and the decision between a clean end of file and damage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <memory>
#include <span>
#include <vector>

#include <kvax/io/units.h>

#include "io/store.h"

namespace kvax {

// The longest record, written or read: 128 MiB. A longer input line (a file without line
// ends) is the fatal report "Record too long", read in bounded memory.
inline constexpr std::size_t max_record_length = std::size_t{1} << 27;

class Unit {
 public:
  // A file descriptor of its own (closed with the unit), or a store.
  Unit(int number, int fd, bool seekable);
  Unit(int number, std::unique_ptr<Store> store);
  ~Unit();
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  int number() const { return number_; }
  bool formatted = true;
  bool big_endian = false;
  bool writable = true;
  bool readable = true;
  bool framed = true;  // unformatted records carry length markers
  std::string file;    // the name it was opened with

  // --- bytes ---
  // Reads up to n bytes; returns the count (short only at end of file). Errors raise
  // the fatal report of the statement "READ".
  long read(void* dst, std::size_t n);
  // Appends n bytes at the current position (the first write after a positioning
  // cuts the file there). Failures raise the fatal report.
  void write(const void* src, std::size_t n);
  // Writes the pieces in turn after the buffered bytes, with gathered system calls.
  void write_pieces(std::span<const BytePiece> pieces);
  std::int64_t position() const { return base_ + static_cast<std::int64_t>(cur_); }
  // Moves to an absolute position; returns 0 or errno. With keep_rest the next write
  // does not cut the file there (writing records in any order).
  int seek(std::int64_t pos, bool keep_rest = false);
  // Writes out buffered bytes and ends the file where writing stopped; returns 0 or
  // the first write error of the unit.
  int flush();
  int first_error() const { return error_; }
  // Size of the file, or -1 when it cannot be known (pipes, terminals). While reading,
  // the size found last is used again unless `fresh` asks for the file's own.
  std::int64_t size(bool fresh = false);

  // --- formatted records ---
  // The next line without its line feed; false at end of file. The view lives until
  // the next operation on the unit. Lines longer than the buffer are assembled in a
  // second buffer that grows to the longest line, up to max_record_length.
  bool read_line(std::string_view& line);
  // Lines of exactly n characters, each with its line feed, lying whole in the buffer from
  // the position (refilled first when it is used up): at most max of them, their count in
  // `count`. The unit does not move; take_lines moves it past the first k, as k read_line
  // calls would.
  const char* whole_lines(std::size_t n, std::size_t max, std::size_t& count);
  void take_lines(std::size_t n, std::size_t k);
  // The line read last ended at the end of the file without its line feed.
  bool line_unended() const { return unended_; }
  void write_line(const char* data, std::size_t n, bool line_end);
  // Room for n bytes of a record at the end of the buffer, to be edited in place and
  // then taken with take(n); nullptr when n is more than the buffer holds.
  char* room(std::size_t n);
  void take(std::size_t n) { cur_ += n; }
  int backspace_line();

  // --- unformatted records ---
  // A length marker as the unit's byte order has it.
  std::uint32_t marker(const unsigned char* p) const;
  // Starts reading a record: 0 and its data length, iostat::end_of_file, or an error code.
  int begin_record(std::uint32_t& length);
  // Reads the trailing marker after the data; 0 or an error code.
  int end_record(std::uint32_t length, std::uint32_t consumed);
  int backspace_record();
  // Starts a record to be written; the leading marker is filled in by finish_record.
  void begin_write_record();
  void finish_write_record();

  int rewind();
  int endfile();

  // --- whole replacement ---
  // The unit writes a new file that commit() puts in place of the output: renamed from
  // `hidden` over `name` in the directory `dir` (the hidden name already remembered for
  // removal), or, where the output may be written but not replaced, copied into the
  // output's own descriptor `into`.
  struct Replacement {
    int dir = -1;
    std::string hidden, name;
    int into = -1;
  };
  void replace(Replacement r) { replacement_ = std::move(r); }
  bool replacing() const { return replacement_.dir >= 0 || replacement_.into >= 0; }
  bool seekable() const { return store_->positioned(); }
  // Puts the unit over another store (its buffer written out first).
  void set_store(std::unique_ptr<Store> store);
  int commit();
  // Removes the new file (a stop before the commit).
  void discard();
  std::vector<std::string> stale_removed;  // hidden files of killed runs removed at the open

 private:
  enum class Mode { idle, reading, writing };
  void to_reading();
  void to_writing();
  bool refill();
  void put_marker(unsigned char* p, std::uint32_t v) const;
  long raw_read(char* dst, std::size_t n, std::int64_t at);
  int drain();  // writes out the buffered bytes only
  void spill(std::size_t n);  // makes room for n bytes, keeping file writes aligned
  int step_back_in_buffer();
  // Moves to pos when it lies within the bytes read last; false, not moved, otherwise.
  bool move_within_read(std::int64_t pos);
  // Skipping the rest of a record or stepping back over the one just read (on a file that
  // can be positioned): within the bytes read last the buffer stays, elsewhere a seek.
  int move_in_record(std::int64_t pos);
  void make_room_in_record(std::size_t n);

  int number_;
  std::unique_ptr<Store> store_;
  Mode mode_ = Mode::idle;
  std::unique_ptr<char[]> buf_;  // allocated on first use, never cleared: touched only as used
  std::size_t cap_ = 0;
  std::int64_t base_ = 0;  // file offset of buf_[0]
  std::size_t cur_ = 0;    // cursor in buf_
  std::size_t len_ = 0;    // valid bytes in buf_ while reading
  bool cut_pending_ = true;  // the next write starts a new end of the file there
  int error_ = 0;
  std::int64_t record_start_ = -1;  // offset of the leading marker of the record being written
  bool in_record_ = false;          // between begin_write_record and finish_write_record
  // Where the record or line read last began: on a stream (no seek) the buffer keeps the
  // bytes from there, so BACKSPACE after a peek at a header needs no seek.
  std::int64_t record_mark_ = -1;
  bool unended_ = false;
  Replacement replacement_;
  std::string line_;                // a line that did not lie whole in the buffer
  std::int64_t known_size_ = -1;    // size found while reading; -1 once this unit writes
  void ensure_buffer();
  bool grow();  // the first buffer made full size; false when it is already
};

// Units of one's own, outside the table: no number reaches them, and separate ones may
// be used on separate threads. Their number in a fatal report is own_unit.
inline constexpr int own_unit = -1;
// Opens `name` for reading; 0 or the system's error (EISDIR for a directory).
int open_own_input(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<Unit>& u);
// Opens `name` to be replaced whole, as a unit of the table under replace_whole: the unit
// writes a new hidden file that commit() puts in place (a name that is no regular file,
// or in a directory that may not be written, is written directly). 0 or an I/O status.
int open_own_output(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<Unit>& u);

// Rows of reals as lines of `per` fields under one F, E or D edit (a row of an array
// section), on a unit's buffer: the bytes and values of write_real_row and read_real_row.
// write_real_lines: false, with nothing written, when a line does not fit the buffer.
// read_real_lines: 0, iostat::end_of_file (`cut` set when the file ends inside a line of
// the row without its line end), or the code of a field that is not a number.
struct DataEdit;
// The one data edit of a row format and the fields a line holds under it ("(1p,10e12.4,:)":
// 1P,E12.4 and 10; "(20I6)": I6 and 20), parsed afresh; false for any other format.
bool row_format_edit(std::string_view format, DataEdit& edit, std::size_t& per_line);
bool write_real_lines(Unit& u, const DataEdit& e, std::size_t per, std::span<const float> values);
int read_real_lines(Unit& u, const DataEdit& e, std::size_t per, std::span<float> values, bool& cut);

// The unit connected under this number, or nullptr.
Unit* find_unit(int number);

}  // namespace kvax
