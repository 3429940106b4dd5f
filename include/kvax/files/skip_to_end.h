// Positioning an open unit at its end by reading it through, record by record, so that
// the next record written is appended.
#pragma once

namespace kvax {

// Reads the unit to its end. The option letter says which form to try first: "u", "U",
// "v", "V" and ">" unformatted, any other formatted; when the first form fails to read,
// the other one goes on, counting on. Upper-case letters and ">" (the set "UAEV>") report
// the count, e.g. " <SKIPTE>>> 21:       12 ASC records". An unconnected unit is left alone.
// A unit that neither form can read to its end ends the run.
void skip_to_end(int unit, char opt);

// As skip_to_end; count is 0 at entry and the number of records passed on success.
void n_skip_to_end(int unit, char opt, int& count);

}  // namespace kvax
