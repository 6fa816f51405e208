// Whether a published version is newer than the installed one, in the three ways versions can be written.
#pragma once

#include <string_view>

enum TVersionFormat { vfStandard, vfString, vfNumber };

// vfStandard: dot-separated integers, compared over as many parts as the installed version has;
// vfString: plain character order; vfNumber: decimal numbers. Any other format is never newer.
bool PublishedVersionIsNewer(std::string_view installed, std::string_view published, int format);
