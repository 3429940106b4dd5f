// The end-of-file branch shared by the complex section readers.
#include "arrays/section_reading.h"

#include <string>

#include <kvax/io/statements.h>
#include <kvax/report/iomsg.h>

namespace kvax {

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
