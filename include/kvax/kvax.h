// Every public header of the kvax library, lowest layer first.
#pragma once

#include <kvax/version.h>

#include <kvax/text/strings.h>
#include <kvax/text/text.h>

#include <kvax/io/clock.h>
#include <kvax/io/iostat.h>
#include <kvax/io/program_arguments.h>
#include <kvax/io/record_file.h>
#include <kvax/io/statements.h>
#include <kvax/io/units.h>

#include <kvax/scan/keyed_values.h>
#include <kvax/scan/label_location.h>
#include <kvax/scan/words.h>

#include <kvax/env/envars.h>

#include <kvax/screen/text_screen.h>

#include <kvax/files/instruction_units.h>
#include <kvax/files/openf.h>
#include <kvax/files/registry.h>
#include <kvax/files/skip_to_end.h>

#include <kvax/report/iomsg.h>
#include <kvax/report/start_time.h>

#include <kvax/arrays/codfmt.h>
#include <kvax/arrays/coz.h>
#include <kvax/arrays/cver.h>
#include <kvax/arrays/formatted_sections.h>
#include <kvax/arrays/section_headers.h>
#include <kvax/arrays/section_layout.h>
#include <kvax/arrays/tide_components.h>
#include <kvax/arrays/typed_formatted_sections.h>
#include <kvax/arrays/typed_unformatted_sections.h>
#include <kvax/arrays/unformatted_sections.h>

#include <kvax/transforms/cut_out_copy.h>
#include <kvax/transforms/grid_transforms.h>

#include <kvax/driver/conversion_run.h>

#include <kvax/grid.h>
