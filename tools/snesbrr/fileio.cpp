#include "fileio.h"

#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace snesbrr {

Status read_file(const std::string &path, std::vector<std::uint8_t> &out)
{
    out.clear();
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return Status::ReadFailed;
    // Read in pieces instead of trusting a seek-reported size: the file may
    // be a pipe, or change while we read it.
    std::uint8_t piece[65536];
    Status status = Status::Ok;
    for (;;) {
        const std::size_t got = std::fread(piece, 1, sizeof piece, file);
        if (out.size() + got > kMaxInputBytes) {
            status = Status::FileTooLarge;
            break;
        }
        out.insert(out.end(), piece, piece + got);
        if (got < sizeof piece) {
            if (std::ferror(file))
                status = Status::ReadFailed;
            break;
        }
    }
    std::fclose(file);
    if (status != Status::Ok)
        out.clear();
    return status;
}

Status write_and_close(std::FILE *file, const std::vector<std::uint8_t> &bytes)
{
    // A buffered write may fail only at the flush, and the Windows C runtime's
    // fclose reports success after a failed flush (a full disk): each step counts.
    bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    written = !std::ferror(file) && written;
    written = std::fclose(file) == 0 && written;
    return written ? Status::Ok : Status::WriteIncomplete;
}

namespace {

// Puts the file `from` in place of `to` in one step, so that an old file at `to`
// stays whole until the new one has replaced it.
Status put_in_place(const std::string &from, const std::string &to)
{
#ifdef _WIN32
    // rename refuses an existing target here; the move replaces it, and write-through
    // returns only once the move is on disk.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Status::Ok;
#else
    // POSIX rename replaces the target atomically.
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return Status::Ok;
#endif
    return Status::ReplaceFailed;
}

} // namespace

Status write_file_replacing(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    // Same folder as the target, so that putting it in place never crosses volumes.
    const std::string temporary = path + ".snesbrr-part";
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return Status::WriteFailed;
    Status status = write_and_close(file, bytes);
    if (status == Status::Ok)
        status = put_in_place(temporary, path);
    if (status != Status::Ok)
        std::remove(temporary.c_str());
    return status;
}

} // namespace snesbrr
