// Condition codes of the record layer and the two ways a run ends early: STOP and the
// fatal report. Both unwind to main as RunEnd; nothing in the library calls exit.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace kvax {

// I/O status values as an IOSTAT variable receives them.
namespace iostat {
inline constexpr int ok = 0;
inline constexpr int end_of_file = -1;
// The record layer's own codes (10000 and above); system errors use errno.
inline constexpr int new_file_exists = 10032;      // "Status 'NEW' specified for an existing file"
inline constexpr int bad_endian = 10036;           // "Endian specifier not BIG_ENDIAN or LITTLE_ENDIAN"
inline constexpr int bad_status = 10033;           // "Illegal STATUS specifier"
inline constexpr int bad_form = 10034;             // "Illegal FORM specifier"
inline constexpr int bad_recordtype = 10035;       // "Illegal record framing specifier"
inline constexpr int bad_unit = 10037;             // "Illegal unit number"
inline constexpr int read_past_eof = 10040;        // "Attempt to read past end of file"
inline constexpr int read_past_eor = 10041;        // "Attempt to read past end of record"
inline constexpr int bad_numeric = 10042;          // "Illegal character in numeric input"
inline constexpr int numeric_overflow = 10043;     // "Numeric overflow on input"
inline constexpr int bad_format = 10044;           // "Error in format"
inline constexpr int not_connected = 10045;        // "Unit not connected"
inline constexpr int wrong_form = 10046;           // "Formatted and unformatted I/O mixed on one unit"
inline constexpr int corrupt_record = 10047;       // "Unformatted record structure damaged"
inline constexpr int read_only = 10048;            // "File is open for reading only"
inline constexpr int record_overflow = 10049;      // "Output exceeds the record length"
inline constexpr int record_too_long = 10050;      // "Record too long": an input line past the limit
}  // namespace iostat

// The text of a status code: the record layer's own list, or the system's message.
std::string iostat_text(int code);

// A statement's request to be told of end of file and of errors.
enum Want : unsigned { want_none = 0, want_end = 1, want_err = 2, want_both = 3 };

// What a statement that asked for signals returns.
enum class Io { ok, end, err };

// The run ends early: by STOP or by the fatal report; status() is the status the program
// then exits with (1 after STOP, an orderly stop before the job was done; 255 after the
// fatal report). what() is the report of the end: for a stop the last line written to
// standard output on this thread before it (the terminating message), for the fatal
// report its three lines; "kvax run end" when there is none.
class RunEnd : public std::exception {
 public:
  explicit RunEnd(int status, std::string text = {}) : status_(status), text_(std::move(text)) {}
  int status() const noexcept { return status_; }
  const char* what() const noexcept override { return text_.empty() ? "kvax run end" : text_.c_str(); }

 private:
  int status_;
  std::string text_;
};

class StopRun : public RunEnd {
 public:
  explicit StopRun(std::string text = {}) : RunEnd(1, std::move(text)) {}
};

// An I/O condition that its statement did not ask to be told of.
class FatalIo : public RunEnd {
 public:
  FatalIo(int code, std::string statement, std::string unit)
      : RunEnd(255, report_text(code, statement, unit)),
        code_(code),
        statement_(std::move(statement)),
        unit_(std::move(unit)) {}
  int code() const noexcept { return code_; }
  // The three lines written to standard error, each ending in a line feed.
  std::string report() const { return report_text(code_, statement_, unit_); }

 private:
  static std::string report_text(int code, const std::string& statement, const std::string& unit);
  int code_;
  std::string statement_;  // "READ", "WRITE", "BACKSPACE", ...
  std::string unit_;       // the unit number, or "*"
};

// The line last written to standard output on this thread (without its line feed), for
// the text of a stop.
void note_standard_output_line(std::string_view line);

// STOP: unwinds to main, which closes every unit and exits with status 1.
[[noreturn]] void stop_run();

// Raises the fatal report for a statement on a unit (unit 6 and internal texts show "*").
[[noreturn]] void fatal_io(int code, std::string_view statement, int unit);

// Pseudo unit number of an internal text (a READ or WRITE on a character field).
inline constexpr int internal_unit = -32768;

}  // namespace kvax
