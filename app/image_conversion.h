// The conversion step of an update: an S-record image becomes the binary file beside it, and the
// texts 4014, then 4016 or 4015 (both with the input and output paths) report it.
#pragma once

#include "image/command_line.h"

class MessageArea;

// Converts the record's image path into the lowered ".bin" name formed in its name buffer. TRUE
// when the conversion finished: the image path then points at the name buffer. An output name that
// would be the input itself, or that does not fit, is refused with 4015 before anything is opened.
BOOL ConvertImageFile(ImageCommandLine* options, MessageArea& area);
