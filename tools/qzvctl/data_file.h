// Whole data files for the block and memory commands, read and written through the system seam.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file; false with a message when it cannot be opened or read, or holds more than
// `maxBytes` bytes.
bool ReadDataFile(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>* bytes, std::string* error);

// Creates or replaces the file with `bytes`, whole or not at all (image/file_replacement.h); false
// with a message on failure.
bool WriteDataFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);
