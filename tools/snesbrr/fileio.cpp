#include "fileio.h"

#include <cstdio>

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

Status write_file_replacing(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    // Same folder as the target, so the final rename never crosses volumes.
    const std::string temporary = path + ".snesbrr-part";
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return Status::WriteFailed;
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return Status::WriteFailed;
    }
    // POSIX rename replaces the target atomically; Windows refuses an existing
    // target, so remove it and try once more.
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(path.c_str());
        if (std::rename(temporary.c_str(), path.c_str()) != 0) {
            std::remove(temporary.c_str());
            return Status::WriteFailed;
        }
    }
    return Status::Ok;
}

} // namespace snesbrr
