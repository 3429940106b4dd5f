// Report lines of the array readers and writers, the per-unit switch that silences them,
// and the header type check with its code in /CGETXX/.
#pragma once

#include <string_view>

namespace kvax {

// One line naming the routine, data type, grid, unit and file, tag and version:
//   " <OUTZM->>> CMPX array, grid M, f.unit 31: m2.f -->M2  #     1 "
// The tag part is left out for a tag beginning "//"; the version part is shown for a
// version above 0, a "CMPX" version of 0, and always for "OUTZM-".
void iomsg(std::string_view routine, std::string_view grid_type, std::string_view data_type, int unit,
           std::string_view tag, int version);
// The same with the grid size after the grid type letter ("M 1440x720").
void aiomsg(std::string_view routine, std::string_view grid_type, int k, int l, std::string_view data_type,
            int unit, std::string_view tag, int version);
// Report switch of a unit 0 to 99: 0 off, anything else on. Other units are never reported.
void iomsg_for_unit(int unit, int on);

// Checks a header's grid type and data type against the request: 0 match, 1 grid type
// refused, 2 data type refused (with its "Requested" line). Requested data types are
// alternatives separated by "|", each matching anywhere in the 4 characters read,
// regardless of case. A requested grid type of blank, "." or "?" accepts any.
int rparse(std::string_view routine, std::string_view requested_grid, std::string_view grid_read,
           std::string_view requested_types, std::string_view type_read);
// The code of the last rparse.
int getxxx_errno();

}  // namespace kvax
