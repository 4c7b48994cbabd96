#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace zl {

// Writes to a temporary file beside the target, flushes it and renames it over the target
// (a symbolic link's target, keeping the link; the old file's mode is kept),
// so a failed write leaves the previous file whole. Fails with
// "Cannot create file "%s". %s".
void WriteFileAtomic(const std::filesystem::path& path, std::string_view data);

// How a file is read; the defaults serve page, plan, list and settings files.
struct ReadOptions {
    // Larger files fail with "File "%s" is larger than N MB" rather than being held in memory;
    // 0 for no limit.
    std::uintmax_t maxBytes = 0;
    // A file that another process still holds open for writing fails with "Cannot open file",
    // so a feed written in place is never shown half written. Where the file system cannot
    // tell (no lease there), the file is read as it stands.
    bool refuseWhileWritten = false;
};

// The whole file as bytes. It is opened without blocking and refused unless it is a regular
// file (or a link to one), so a FIFO, a device or a socket in its place neither hangs nor floods
// the reader. Fails with "Cannot open file "%s". %s".
std::string ReadWholeFile(const std::filesystem::path& path, const ReadOptions& options = {});

// The second placeholder for a file that is held open for writing, and for one that is not a
// regular file.
inline constexpr const char* kFileBeingWritten = "The file is still open for writing by another process";
inline constexpr const char* kNotARegularFile = "Not a regular file";

}  // namespace zl
