#pragma once

#include "support/version_info.h"

#include <string>

// Display text of a product version: product name, product version and the
// pre-release, private-build and debug marks of the version resource.
std::wstring version_text(const vt::version_info& version);
