// What the complex section readers share: the header check, the truncated rows and the
// end of file where a header was expected.
#include "arrays/section_reading.h"

#include <string>

#include <kvax/io/statements.h>
#include <kvax/report/iomsg.h>

namespace kvax {

bool accept_header(std::string_view routine, Text& typ, std::string_view typ_read, std::string_view types,
                   std::string_view vartyp_read, Text& tag) {
  const int check = rparse(routine, typ, typ_read, types, vartyp_read);
  if (check != 0) {
    assign(tag, check == 1 ? "ET" : "EC");
    return false;
  }
  assign(typ, typ_read);
  return true;
}

void data_truncated(std::string_view routine, int rows_done) {
  write_fmt(6, "(A,I4,A)", line_start(routine, 'T') + "Data truncated after ", rows_done, " operations.");
  stop_run();
}

void end_of_sections(const SectionEnd& e, Text& typ, Text& tag) {
  const std::string severity = e.sections == 0 ? "E" : "W";
  write_fmt(6, "(A,I2,A,I5)", " <" + std::string(e.routine) + ">" + severity + "> End of file, log.unit ", e.unit,
            ". Sections read: ", e.sections);
  if (e.version_arg && e.sections > 0) iomsg("  \"   ", typ, e.last_vartyp, e.unit, tag, e.last_version);
  assign(tag, "EF");
  if (e.version_arg) {
    *e.version_arg = e.last_version;
    assign(tag, "EV");
  }
  if (e.last_typ) assign(typ, *e.last_typ);
}

}  // namespace kvax
