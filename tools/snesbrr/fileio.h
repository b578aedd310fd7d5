#pragma once
// Whole-file reads and all-or-nothing writes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "status.h"

namespace snesbrr {

// Larger inputs are refused: a 10-minute 8-channel 32-bit WAV still fits.
constexpr std::size_t kMaxInputBytes = std::size_t{1} << 30;

// Reads the whole file at `path` into `out`.
Status read_file(const std::string &path, std::vector<std::uint8_t> &out);

// Writes `bytes` to a temporary file beside `path`, then puts it in place of
// `path` in one step. On failure the temporary file is removed and `path` is
// untouched: WriteFailed, WriteIncomplete or ReplaceFailed says at which step.
Status write_file_replacing(const std::string &path, const std::vector<std::uint8_t> &bytes);

// Writes `bytes` to `file` (open for writing, owned by the caller until this
// call, which always closes it). WriteIncomplete unless the write, the flush and
// the close all succeed.
Status write_and_close(std::FILE *file, const std::vector<std::uint8_t> &bytes);

} // namespace snesbrr
