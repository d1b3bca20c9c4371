// A unit's identity and an image's version as text for the reports: fields of INQUIRY data and the
// four-character version texts of images, with bytes outside printable ASCII shown as '.'.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32_types.h"
#include "report.h"

// An INQUIRY field with its trailing blanks cut.
std::string InquiryText(const BYTE* bytes, size_t length);

// The vendor, product and revision fields of 36 bytes of INQUIRY data, added to `report`.
void AddIdentity(Report& report, const BYTE* inquiry);

// A four-character version text as images hold it: it may end early with a NUL.
std::string VersionText(const BYTE* version);
