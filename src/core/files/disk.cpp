#include "files/disk.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace qtx {

namespace {

std::string reasonOf(int error) { return std::generic_category().message(error); }

}  // namespace

bool fileExists(const std::string& path) {
    std::error_code ec;
    // Anything under that name counts, a dangling link included: it is not ours to replace.
    return std::filesystem::symlink_status(path, ec).type() !=
               std::filesystem::file_type::not_found &&
           !ec;
}

WriteResult writeNewFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (!file) {
        const int error = errno;
        if (error == EEXIST) return {WriteResult::Exists, reasonOf(error)};
        return {WriteResult::Failed, reasonOf(error != 0 ? error : EIO)};
    }
    errno = 0;
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (whole && error == 0) return {WriteResult::Written, {}};
    std::remove(path.c_str());
    return {WriteResult::Failed, reasonOf(error != 0 ? error : EIO)};
}

WriteResult writeNewFile(const std::string& path, const std::string& text) {
    return writeNewFile(path,
                        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

ReadResult readFileStart(const std::string& path, std::size_t maxBytes) {
    ReadResult result;
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        result.failure = reasonOf(errno != 0 ? errno : ENOENT);
        return result;
    }
    constexpr std::size_t kChunk = 64 * 1024;
    while (result.bytes.size() < maxBytes) {
        const std::size_t want = std::min(kChunk, maxBytes - result.bytes.size());
        const std::size_t at = result.bytes.size();
        result.bytes.resize(at + want);
        const std::size_t got = std::fread(result.bytes.data() + at, 1, want, file);
        result.bytes.resize(at + got);
        if (got < want) {
            if (std::ferror(file)) result.failure = reasonOf(errno != 0 ? errno : EIO);
            break;
        }
    }
    std::fclose(file);
    return result;
}

}  // namespace qtx
