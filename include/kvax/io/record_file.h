// A file of one's own as the record layer reads and writes it: unformatted records and
// text lines over a buffer, and whole rows of values as lines of fields, outside the unit
// table. Nothing is shared between two such files: separate ones may be used on separate
// threads (one file by one thread at a time). A condition of the record layer that a
// call does not return (a read the system refuses) raises FatalIo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kvax {

class Unit;

class RecordFile {
 public:
  // Opens a file to be read; 0 or the system's error (EISDIR for a directory).
  static int open_input(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<RecordFile>& f);
  // Opens a file to be replaced whole as the converter replaces its output: what is
  // written goes to a new file that commit() puts in place, and a file never committed
  // is left as it was. 0 or an I/O status.
  static int open_output(const std::string& name, bool formatted, bool big_endian, std::unique_ptr<RecordFile>& f);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  const std::string& name() const;
  std::int64_t position() const;
  int seek(std::int64_t offset);  // 0 or errno

  // Unformatted records: begin_record gives 0 and the data length, or iostat::end_of_file
  // (also for a record that passes the end of the file); end_record skips what was not
  // read and checks the trailing marker (0 or iostat::corrupt_record).
  int begin_record(std::uint32_t& length);
  long read(void* dst, std::size_t n);
  int end_record(std::uint32_t length, std::uint32_t consumed);
  void begin_write_record();
  void write(const void* src, std::size_t n);
  void finish_write_record();

  // Lines: the next line without its line feed (false at the end); the view lives until
  // the next call. line_unended: the line read last ended the file without a line feed.
  bool read_line(std::string_view& line);
  bool line_unended() const;
  void write_line(std::string_view line);

  // A row of values as lines of fields under a row format of one repeated data edit
  // ("(1p,10e12.4,:)", "(10e12.6)", "(20I6)", "(120L1)"): a full line holds the edit's
  // repeat count of fields, the last line the rest, a row of no values one empty line.
  // Read: a line shorter than its fields reads as if padded with blanks, unless the file
  // ends inside it; 0, iostat::end_of_file (`cut` set when the file ends inside a line),
  // or the code of a field that cannot be read (1-byte logicals: 1 for T, 0 for F).
  int read_row(std::string_view format, std::span<float> values, bool& cut);
  int read_row(std::string_view format, std::span<double> values, bool& cut);
  int read_row(std::string_view format, std::span<std::int32_t> values, bool& cut);
  int read_row(std::string_view format, std::span<std::int8_t> values, bool& cut);
  // Write: the bytes of one WRITE statement with these items under the format.
  void write_row(std::string_view format, std::span<const float> values);
  void write_row(std::string_view format, std::span<const double> values);
  void write_row(std::string_view format, std::span<const std::int32_t> values);
  void write_row(std::string_view format, std::span<const std::int8_t> values);

  // Writes out what the buffer holds: 0 or the first error of the file's writes.
  int flush();
  // Puts a file opened by open_output in place (0 or the error, the new file then
  // removed); discard removes it, leaving the old file as it was.
  int commit();
  void discard();

  struct RowFormat;  // a row format parsed, kept for the next rows

 private:
  explicit RecordFile(std::unique_ptr<Unit> u);
  const RowFormat& row_format(std::string_view format);
  std::unique_ptr<Unit> u_;
  std::unique_ptr<RowFormat> last_;
};

}  // namespace kvax
