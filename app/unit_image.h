// The image for one unit, as an update's probe finds it: the file is loaded into the image buffer and
// identified by the unit's generation (the old layout below revision 1.99, the new one at 1.99 or
// later), and the version the unit will run is read from it, for the new layout from the version slot
// that the unit's configuration value names.
#pragma once

#include "host/host_io.h"
#include "image/image_message_sink.h"

// Loads `path` into `image` (*imageSize: the capacity on entry, the file's length after loading) and
// identifies it for unit `unitIndex` at `revision`. Returns the image's four-character version text
// (not terminated), or null when the image was refused (the sink has shown 4003-4007) or when the
// unit's configuration value could not be read (*configurationStatus is then nonzero; nothing new is
// shown).
const BYTE* LoadImageForUnit(const char* path, DWORD unitIndex, DWORD revision, BYTE* image, LONG* imageSize,
                             ImageMessageSink& sink, UnitStatus* configurationStatus);
