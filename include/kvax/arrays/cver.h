// /CVER/: the version of the section last read (or to be written) and the tag length
// shared by every reader and writer of tagged complex sections.
#pragma once

#include <kvax/arrays/section_layout.h>  // max_tag_length

namespace kvax {

// The tag length becomes n (at most 16); writes "<SLTagT>>> Tide symbols max length=".
void set_length_tag_tide(int n);
// The tag length; with a flag other than 0 it first writes "<LTagTi>>> Tide symbols max length=".
int length_tag_tide(int flag);
// The version the writers put into the header.
void setver(int version);

// The fields themselves, for the readers and writers of sections.
int cver_version();
void set_cver_version(int version);
int cver_tag_length();

}  // namespace kvax
