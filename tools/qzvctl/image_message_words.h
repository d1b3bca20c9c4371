// The image operations' failures (messages 4003-4007) in words, for the tool's errors.
#pragma once

#include <string>

#include "image/image_message_sink.h"

std::string ImageMessageWords(ImageMessage message, const char* path);
