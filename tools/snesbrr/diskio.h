#pragma once
// Whole-file reads and all-or-nothing writes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "status.h"

namespace snesbrr {

// Larger inputs are refused: a 10-minute 8-channel 32-bit WAV still fits.
constexpr std::size_t kMaxInputBytes = std::size_t{1} << 30;

// Reads the whole file at `path` into `out`; FileTooLarge past max_bytes.
Status read_file(const std::string &path, std::vector<std::uint8_t> &out,
                 std::size_t max_bytes = kMaxInputBytes);

// Makes the file at `path` hold exactly `size` bytes at `data`, all or nothing: they go
// to a new file beside `path`, reach the disk (flushed and synced), and that file then
// takes the place of `path` in one step. A replaced file keeps its permissions (POSIX).
// On failure `path` is as it was and no file is left behind; WriteFailed,
// WriteIncomplete or ReplaceFailed says at which step, and `*system_error` (when
// given) receives the system's code: errno, or GetLastError() on Windows; else 0.
Status write_file_replacing(const std::string &path, const std::uint8_t *data, std::size_t size,
                            int *system_error = nullptr);
Status write_file_replacing(const std::string &path, const std::vector<std::uint8_t> &bytes,
                            int *system_error = nullptr);

// The system's wording of a code from write_file_replacing, as one line without a
// final period: strerror, or FormatMessage on Windows.
std::string system_reason(int system_error);

// describe(status), followed by the system's reason in parentheses when there is one.
std::string describe_write(Status status, int system_error);

} // namespace snesbrr
