// The file operations every reader and writer of the console shares. Files are created
// exclusively, so an existing file is never truncated, not even one that appears between
// the test for it and the write.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qtx {

bool fileExists(const std::string& path);

struct WriteResult {
    enum Outcome { Written, Exists, Failed } outcome = Failed;
    std::string reason;  // why it failed, in the system's words ("No space left on device")
};

// Creates the file and writes the bytes. A write that fails part-way removes what it
// created, so no truncated file is left that looks whole.
WriteResult writeNewFile(const std::string& path, std::span<const std::uint8_t> bytes);
WriteResult writeNewFile(const std::string& path, const std::string& text);

struct ReadResult {
    std::vector<std::uint8_t> bytes;
    std::string failure;  // empty when the file was read
};

// Reads at most maxBytes from the start of the file.
ReadResult readFileStart(const std::string& path, std::size_t maxBytes);

}  // namespace qtx
