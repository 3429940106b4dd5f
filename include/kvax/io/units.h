// The unit table: numbered logical units connected to files, standard input (5) and
// standard output (6) always connected. OPEN, CLOSE, REWIND, BACKSPACE, ENDFILE and
// INQUIRE as the opener uses them; statements reach a unit through find_unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvax {

class Unit;

struct OpenSpec {
  std::string_view file;                 // trailing blanks do not count
  std::string_view status = "UNKNOWN";   // "NEW", "OLD", "UNKNOWN" ("SCRATCH", "REPLACE" too)
  std::string_view form = "FORMATTED";   // "FORMATTED" or "UNFORMATTED"
  std::string_view convert = "LITTLE_ENDIAN";  // byte order, unformatted only
  int record_framing = -1;               // -1 length-marked records; 0 none; others refused
  bool read_only = false;                // ACTION='READ': the file is never opened for writing
};

// Connects the unit; returns 0 or the I/O status (never fatal by itself). A unit that is
// already connected is closed first.
int open_unit(int unit, const OpenSpec& spec);

// CLOSE: flushes and disconnects; closing an unconnected unit does nothing. A unit that
// replaces its file whole is committed first.
void close_unit(int unit);

// Flushes and closes every unit (STOP and the fatal report do this). A unit that replaces
// its file whole and was not committed is discarded: its file stays as it was.
void close_all_units();

// A name of one of the process's own descriptors (/dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N) opened for writing is written through that descriptor, in turn from
// where it stands: a pipe streams, a file opened for appending is appended to.
//
// Whole replacement. While set for a unit number, a regular file opened for writing on
// that unit is written as a new hidden file in the same directory (".NAME.kvax-XXXXXX"),
// and only commit_unit (or CLOSE) renames it over the file, which keeps its permission
// bits; a symbolic link keeps pointing to the file it names, and a circle of links is
// refused (ELOOP). The directory is held by a descriptor, so renaming it meanwhile moves
// nothing. Where the file may be written but not replaced (a directory that may not be
// written, a sticky directory of another user), the new content goes into an unnamed
// file under TMPDIR (/tmp; in memory when neither can hold it) and the commit copies it
// into the file. Until the commit the file is as it was, and a stop or a fatal report
// removes the new one. A name that is not a regular file (a device, a FIFO) or a file
// that may not be written is opened directly.
void replace_whole(int unit, bool on);
// Writes out the unit and puts its new file in place; 0 or the error (the new file is
// then removed). Nothing to do for other units.
int commit_unit(int unit);
// Removes every new file not yet committed. Safe to call from a signal handler (it only
// unlinks names kept in fixed storage); the units stay as they are.
void remove_uncommitted_files() noexcept;
// The hidden files of killed runs that the open of this replacing unit found beside its
// file and removed (not locked by a live run, last written over a minute ago).
std::vector<std::string> stale_files_removed(int unit);

// Flushes standard output (before a prompt is answered or a shell command runs).
void flush_standard_output();

// FLUSH: writes out what the unit holds in its buffer; a write that fails there is the
// fatal report of the WRITE. Writers flush before they report what they wrote.
void flush_unit(int unit);

bool is_connected(int unit);
// False for a unit opened for reading only (and for none).
bool unit_is_writable(int unit);

// INQUIRE by file name: the unit connected to that file, or -1 (names compared after
// resolving them to absolute paths).
int unit_of_file(std::string_view file);

// INQUIRE by unit: the file name the unit was opened with ("" for 5 and 6 or none).
std::string file_of_unit(int unit);
bool unit_is_formatted(int unit);

// Positioning. Each returns 0 or an I/O status; on an unconnected unit nothing happens.
int rewind_unit(int unit);
int backspace_unit(int unit);
int endfile_unit(int unit);
// Moves the unit to byte `offset` of its file for writing there, as direct access would:
// the next write goes there and does not cut the file, so records of one length can be
// written in any order. ESPIPE on a stream.
int seek_unit(int unit, std::int64_t offset);
// The byte offset of the unit's current position (0 for none).
std::int64_t unit_position(int unit);

// Raw bytes, for a caller that moves records whole (the converter between unformatted
// files). read_unit_bytes reads the next n bytes from the unit's position into dst,
// fewer only at the end of the file; a failure is the fatal report of the READ.
long read_unit_bytes(int unit, void* dst, std::size_t n);
// Bytes to be written, one piece of a gathered write.
struct BytePiece {
  const void* data;
  std::size_t size;
};
// Writes the pieces one after another at the unit's position, as writing each in turn
// would, but without copying them into the unit's buffer: what the buffer holds goes
// first, then the pieces in few system calls. A failure is kept as the unit's first
// error, reported at its flush, as for every write.
void write_unit_pieces(int unit, std::span<const BytePiece> pieces);
// Standard output (unit 6) goes into *sink instead of file descriptor 1 while it is set,
// for a program that runs the converter inside itself and keeps its lines; nullptr
// restores the descriptor.
void collect_standard_output(std::string* sink);

// The byte order of the unit's unformatted records (CONVERT='BIG_ENDIAN').
bool unit_is_big_endian(int unit);

// Framed records moved whole. A framed record of N data bytes lies in the file as its
// leading length marker, the N bytes and its trailing marker (equal to the leading one).
inline constexpr std::size_t record_marker_bytes = 4;
constexpr std::size_t framed_record_bytes(std::size_t data) { return data + 2 * record_marker_bytes; }
// The length a marker gives, read in the given byte order.
std::uint32_t record_marker(const std::byte* marker, bool big_endian);
// Reads the next n records of `data` bytes of data each into dst, whole and as they lie
// in the file (framed_record_bytes(data) each, in the unit's byte order). Returns n when
// every one of them is such a record, both markers read in the unit's byte order; 0, with
// the unit where it was and nothing taken, when one is not (another length, a trailing
// marker that differs), the file ends first, dst is too small, or the unit cannot go back
// (a stream). A failure to read is the fatal report of the READ.
long read_unit_records(int unit, std::span<std::byte> dst, std::size_t data, long n);
// How write_unit_records lays out the records it is given: in the order held, or the
// last first (reversed); the data of each from byte `turn` on, then its bytes before
// `turn` (a row turned westward by turn / element size cells).
struct RecordOrder {
  bool reversed = false;
  std::size_t turn = 0;
};
// Writes n records laid out as read_unit_records leaves them, their markers and data as
// they are (so they must be in the unit's byte order), after what the unit holds, in few
// system calls (write_unit_pieces). Nothing happens on a unit that is not connected.
void write_unit_records(int unit, std::span<const std::byte> records, std::size_t data, long n,
                        RecordOrder order = {});

}  // namespace kvax
