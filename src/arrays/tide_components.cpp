// Readers of one tide constituent by tag: tgetzm (complex sections) and tgetoz (compact
// constituent sets into /COZ/).
#include <kvax/arrays/tide_components.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include <kvax/arrays/coz.h>
#include <kvax/arrays/cver.h>
#include <kvax/files/registry.h>
#include <kvax/io/iostat.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>
#include <kvax/report/iomsg.h>

#include "arrays/coz_pool.h"
#include "arrays/section_units.h"

namespace kvax {
namespace {

constexpr std::size_t values_per_record = 8;

// Records of eight values that n values take.
long long records_for(long long n) { return n > 0 ? (n + 7) / 8 : 0; }

// Text comparison with the shorter side padded with blanks.
bool equal_padded(std::string_view a, std::string_view b) {
  const std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i)
    if ((i < a.size() ? a[i] : ' ') != (i < b.size() ? b[i] : ' ')) return false;
  return true;
}

// The failure exit of tgetoz: the step's message (if any), the code, and the file.
void refuse_set(int unit, Text& tag, std::string_view code, std::string_view message) {
  if (!message.empty()) write_fmt(6, "(A)", message);
  assign(tag, code);
  Text name = text("", registry_entry_length);
  get_file_name(unit, name);
  write_fmt(6, "(A,I2,2A)", " <TGETOZ>I> Problem file unit ", unit, ": ", sub(name, 1, 32));
}

// Reads `records` records of eight values into the component's region from its first
// position on. End of file is caught only when asked (U and V): false then.
bool read_values(int unit, int component, long long records, unsigned want) {
  Cell values[values_per_record];
  for (long long r = 0; r < records; ++r) {
    UnformattedRead st(unit, want);
    st.items(std::span<Cell>(values));
    if (st.finish() == Io::end) return false;
    store_coz(component, r * static_cast<long long>(values_per_record), values);
  }
  return true;
}

// Reads and drops `records` records; false at end of file when that was asked for.
bool skip_records(int unit, long long records, unsigned want) {
  for (long long r = 0; r < records; ++r) {
    UnformattedRead st(unit, want);
    if (st.finish() == Io::end) return false;
  }
  return true;
}

}  // namespace

void tgetzm(int unit, std::span<Cell> grid, int k, int l, Text& typ, Text& tag) {
  const int n = cver_tag_length();
  const char first = tag.empty() ? ' ' : tag[0];
  // A TAG beginning with a blank or "E" (a status code) asks for no rewind: it carries
  // on where a search before it stopped.
  const bool from_start = first != ' ' && first != 'E';
  if (from_start) rewind_unit(unit);
  // Every header is checked against the caller's request, not against the grid type of
  // a section passed over before it.
  const Text requested_typ = typ;
  const bool any = any_tag_request(tag);
  const std::size_t cells = k > 0 ? static_cast<std::size_t>(k) : 0;
  const int rows = rows_to_read(grid.size(), k, l);
  int sections = 0;
  std::int32_t last_version = -1;

  for (;;) {
    SectionHeader h;
    const Io s = read_section_header(unit, want_both, false, HeaderItems::complex, n, h);
    if (s == Io::err) {
      write_fmt(6, "(A)", " <TGETZM>E> Cannot recognize data");
      assign(tag, "ER");
      return;
    }
    if (s == Io::end) {
      write_fmt(6, "(A,I2,A,I5,A)", " <TGETZM>E> End of file, log.unit ", unit, " after ", sections, " sections.");
      if (from_start) {
        assign(tag, "EF");
        set_cver_version(last_version);
        return;
      }
      write_list(6, "preventing inf.loop");
      stop_run();
    }
    last_version = h.version;
    const Text htyp(1, h.typ);
    const int check = rparse("TGETZM", requested_typ, htyp, "CMPX", h.vartyp);
    if (check != 0) {
      assign(tag, check == 1 ? "ET" : "EC");
      assign(typ, requested_typ);  // as the caller gave it, whatever was passed over before
      return;
    }
    assign(typ, htyp);
    ++sections;
    for (int j = rows; j >= 1; --j) {
      UnformattedRead row(unit, want_end);
      row.items(grid.subspan(cells * static_cast<std::size_t>(j - 1), cells));
      if (row.finish() == Io::end) {
        write_fmt(6, "(A,I4,A)", " <TGETZM>T> Data truncated after ", rows - j, " operations.");
        stop_run();
      }
    }
    if (any || same_tag(tag, h.tag, n)) {
      iomsg("TGETZM", htyp, h.vartyp, unit, h.tag, h.version);
      set_cver_version(h.version);
      return;
    }
  }
}

void tgetoz(int unit, std::string_view option, Text& tag) {
  const int n = cozc_tag_length();
  const Text opt(1, option.empty() ? ' ' : option[0]);
  const bool any = std::string_view("  ..??").find(tag) != std::string_view::npos;
  bool rewound = false;

  for (;;) {
    std::int32_t count = 0, boundary = 0, unused = 0;
    Text component = text("", 1), file_option = text("", 1), tag_read = text("", static_cast<std::size_t>(n));
    Io s;
    {
      UnformattedRead h(unit, want_both);
      h.item(count);
      h.item(boundary);
      h.item(unused);
      h.item(component);
      h.item(file_option);
      h.item(tag_read);
      s = h.finish();
    }
    if (s == Io::err) return refuse_set(unit, tag, "ED", " <TGETOZ>E> Cannot recognize data.");
    if (s == Io::end) {
      if (!rewound) {
        rewound = true;
        rewind_unit(unit);
        continue;
      }
      write_fmt(6, "(A,I2)", " <TGETOZ>W> End of file, unit ", unit);
      assign(tag, "EF");
      return;
    }
    if (component != "Z") return refuse_set(unit, tag, "EC", " <TGETOZ>E> Unrecognized component " + component);

    // Option "A" on a full set keeps the boundary values and passes over the rest.
    std::int32_t z_need = count;
    long long keep = records_for(count), skip = 0;
    if (opt == "A" && file_option == "F") {
      z_need = boundary;
      keep = records_for(boundary);
      skip = std::max(records_for(count) - keep, 0LL);
    }
    begin_coz_set(z_need, boundary);
    chkcoz();
    read_values(unit, 0, keep, want_none);  // a short file here is the record layer's error
    skip_records(unit, skip, want_none);

    std::int32_t m_need = 0;
    Text m_letter = text("", 1);
    {
      UnformattedRead h(unit, want_err);
      h.item(m_need);
      h.item(m_letter);
      s = h.finish();
    }
    if (s == Io::err) return refuse_set(unit, tag, "ED", " <TGETOZ>E> Cannot recognize data.");
    if (m_letter != "M") return refuse_set(unit, tag, "EC", " <TGETOZ>E> Unrecognized component " + m_letter);
    set_coz_m_need(m_need);
    const char* truncated = nullptr;
    if (m_need > 0) {
      chkcoz();
      const long long records = records_for(m_need);
      if (!read_values(unit, 1, records, want_end)) {
        truncated = "U";
      } else if (!read_values(unit, 2, records, want_end)) {
        truncated = "V";
      }
    } else if (!skip_records(unit, 2, want_end)) {
      truncated = "Z";
    }
    if (truncated) {
      write_fmt(6, "(2A)", " <TGETOZ>E> EOF. Truncated component: ", truncated);
      return refuse_set(unit, tag, "ET", "");
    }

    if (!any && !equal_padded(tag_read, tag)) continue;
    set_cozc_tag(tag_read);
    write_fmt(6, "(A,I2,5A)", " <TGETOZ>>> Log.unit ", unit, ", tide ", tag_read, ", option ", opt,
              ". Number of values read: ");
    write_fmt(6, "(A,I4,A,I4,A,I4)", " <TGETOZ>>> Z act.bound.:", boundary,
              ", Z o.o.area:", static_cast<std::int64_t>(z_need) - boundary, ", M act.bound.:", m_need);
    if (any) assign(tag, tag_read);
    if (opt == "F" && file_option == "A") write_fmt(6, "(A)", " <TGETOZ>W> No O-O-area data on the file !");
    return;
  }
}

}  // namespace kvax
