#include "diskio.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace snesbrr {

Status read_file(const std::string &path, std::vector<std::uint8_t> &out, std::size_t max_bytes)
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
        if (out.size() + got > max_bytes) {
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

namespace {

#ifdef _WIN32

// The folder part of path, its last separator included ("" for a bare name).
std::string folder_of(const std::string &path)
{
    const std::size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

Status write_replacing(const std::string &path, const std::uint8_t *data, std::size_t size,
                       int &system_error)
{
    // GetTempFileName creates a file of a name nobody else uses, in the target's folder
    // so that putting it in place never crosses volumes.
    const std::string folder = folder_of(path);
    char temporary[MAX_PATH];
    if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "brr", 0, temporary)) {
        system_error = static_cast<int>(GetLastError());
        return Status::WriteFailed;
    }
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        system_error = static_cast<int>(GetLastError());
        DeleteFileA(temporary);
        return Status::WriteFailed;
    }
    Status status = Status::Ok;
    DWORD error = 0;
    // WriteFile takes at most 4 GiB less one byte per call.
    for (std::size_t done = 0; done < size && !error;) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data + done, piece, &written, nullptr))
            error = GetLastError();
        else if (written == 0)
            error = ERROR_DISK_FULL;
        done += written;
    }
    // A sparse or compressed file may be refused room only at the flush: that counts too.
    if (!error && !FlushFileBuffers(file))
        error = GetLastError();
    if (!CloseHandle(file) && !error)
        error = GetLastError();
    // rename refuses an existing target here; the move replaces it, and write-through
    // returns only once the move is on the disk.
    if (error) {
        status = Status::WriteIncomplete;
    } else if (!MoveFileExA(temporary, path.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        status = Status::ReplaceFailed;
    }
    if (status != Status::Ok)
        DeleteFileA(temporary);
    system_error = static_cast<int>(error);
    return status;
}

#else

// The file that path names: a symbolic link's target, so that writing through a link
// keeps the link; path itself otherwise, or when the link leads nowhere.
std::string followed(const std::string &path)
{
    struct stat link = {};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return path;
    char *target = realpath(path.c_str(), nullptr);
    if (!target)
        return path;
    const std::string resolved = target;
    std::free(target);
    return resolved;
}

// Creates a file of a name nobody else uses beside path, so that the rename never
// crosses file systems, with mode 0666 less the umask, as any file a program creates.
// Its descriptor and name, or -1 with errno.
int create_beside(const std::string &path, std::string &temporary)
{
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = path + "." + std::to_string(random() % 1000000) + ".part";
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

Status write_replacing(const std::string &link, const std::uint8_t *data, std::size_t size,
                       int &system_error)
{
    const std::string path = followed(link);
    std::string temporary;
    const int fd = create_beside(path, temporary);
    if (fd < 0) {
        system_error = errno;
        return Status::WriteFailed;
    }
    // A replaced file keeps its permissions where the system lets it (a file system
    // without modes, or a set-id bit, may not); a new one has what creat gave.
    struct stat old = {};
    if (stat(path.c_str(), &old) == 0)
        (void)fchmod(fd, old.st_mode & 07777);
    Status status = Status::Ok;
    int error = 0;
    for (std::size_t done = 0; done < size && !error;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<std::size_t>(n);
    }
    // Renamed before its bytes are on the disk, a crash could leave an empty file.
    if (!error && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (error) {
        status = Status::WriteIncomplete;
    } else if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        // POSIX rename replaces the target in one step.
        error = errno;
        status = Status::ReplaceFailed;
    }
    if (status != Status::Ok)
        unlink(temporary.c_str());
    system_error = error;
    return status;
}

#endif

} // namespace

Status write_file_replacing(const std::string &path, const std::uint8_t *data, std::size_t size,
                            int *system_error)
{
    int error = 0;
    const Status status = write_replacing(path, data, size, error);
    if (system_error)
        *system_error = error;
    return status;
}

Status write_file_replacing(const std::string &path, const std::vector<std::uint8_t> &bytes,
                            int *system_error)
{
    return write_file_replacing(path, bytes.data(), bytes.size(), system_error);
}

std::string system_reason(int system_error)
{
#ifdef _WIN32
    char text[512] = "";
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(system_error), 0, text, sizeof text, nullptr);
    // The system's texts end in a period and a line break; the caller punctuates.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        text[--length] = '\0';
    // A few span lines; a message line holds one.
    for (DWORD i = 0; i < length; ++i)
        if (text[i] == '\r' || text[i] == '\n')
            text[i] = ' ';
    return length ? std::string(text) : "error " + std::to_string(system_error);
#else
    return std::strerror(system_error);
#endif
}

std::string describe_write(Status status, int system_error)
{
    std::string text = describe(status);
    if (system_error != 0)
        text += " (" + system_reason(system_error) + ")";
    return text;
}

} // namespace snesbrr
