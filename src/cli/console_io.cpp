#include "console_io.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "FileIO.h"
#include "fileio.h" // the codec's whole-file read and all-or-nothing write

unsigned char *ROMMem = nullptr;
int ROMSize = 0;

namespace {

std::ostream *errors = nullptr;
std::string subject;
int said = 0;
std::string romPath, savePath;
bool dryRun = false;
std::vector<uint8_t> original;
std::string samplePath, exportPath;
bool exportWav = false;
bool answer = false;

std::string Format(const char *format, va_list args)
{
    char text[1024]; // as much as a box keeps
    vsnprintf(text, sizeof text, format, args);
    return text;
}

// The system's reason for the last failed C library call on a file.
std::string Reason()
{
    return errno ? std::strerror(errno) : "unknown error";
}

// Makes the file at path hold exactly bytes, all or nothing: they go to a new file in
// its folder, reach the disk, and take path's place in one step. "" when done, else the
// reason, with path as it was and no file left behind.
std::string WriteReplacing(const std::string &path, const std::vector<uint8_t> &bytes)
{
#ifdef _WIN32
    // The codec's write puts the finished file in place with MoveFileExA, write-through.
    const snesbrr::Status status = snesbrr::write_file_replacing(path, bytes);
    return status == snesbrr::Status::Ok ? "" : snesbrr::describe(status);
#else
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return Reason();
    // A replaced file keeps its permissions; a new one gets 0666 less the umask, as
    // any file a program creates.
    struct stat old = {};
    mode_t mode = 0666;
    if (stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode &= ~mask;
    }
    bool ok = fchmod(fd, mode) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? size_t(n) : 0;
    }
    // Renamed before its bytes are on the disk, a crash could leave an empty file.
    ok = ok && fsync(fd) == 0;
    std::string reason = ok ? "" : Reason();
    if (close(fd) != 0 && ok) {
        ok = false;
        reason = Reason();
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = Reason();
    }
    if (!ok)
        unlink(temp.c_str());
    return reason;
#endif
}

} // namespace

namespace console {

void Begin(std::ostream &err)
{
    errors = &err;
    subject.clear();
    said = 0;
    free(ROMMem);
    ROMMem = nullptr;
    ROMSize = 0;
    romPath.clear();
    savePath.clear();
    dryRun = false;
    original.clear();
    samplePath.clear();
    exportPath.clear();
    exportWav = false;
    answer = false;
}

void SetSubject(const std::string &text)
{
    subject = text;
}

void Say(const std::string &text)
{
    std::string line = "tarvo: " + (subject.empty() ? "" : subject + ": ");
    for (const char c : text)
        line += c == '\n' ? std::string("; ") : std::string(1, c);
    *errors << line << "\n";
    ++said;
}

int Said()
{
    return said;
}

bool LoadRom(const std::string &path)
{
    SetSubject(path);
    std::vector<uint8_t> bytes;
    errno = 0;
    const snesbrr::Status status = snesbrr::read_file(path, bytes);
    if (status == snesbrr::Status::FileTooLarge) {
        Say("This ROM file is 1 GiB or larger and cannot be loaded.\n"
            "Choose the ROM file itself, not a disc or archive image.");
        return false;
    }
    if (status != snesbrr::Status::Ok) {
        Say("The ROM file could not be read: " + Reason() + ".");
        return false;
    }
    if (bytes.size() <= 0x100000) {
        Say("An unexpanded ROM does not have any vacant banks.\nExpand it and try again.");
        return false;
    }
    auto *image = static_cast<unsigned char *>(malloc(bytes.size()));
    if (!image) {
        Say("There is not enough memory to load this ROM.");
        return false;
    }
    memcpy(image, bytes.data(), bytes.size());
    free(ROMMem);
    ROMMem = image;
    ROMSize = static_cast<int>(bytes.size());
    romPath = path;
    original = std::move(bytes);
    return true;
}

const std::vector<uint8_t> &Original()
{
    return original;
}

void SetSaveTarget(const std::string &out, bool dry)
{
    savePath = out;
    dryRun = dry;
}

void SetSample(const std::string &path)
{
    samplePath = path;
}

void SetExport(const std::string &path, bool wav)
{
    exportPath = path;
    exportWav = wav;
}

void SetAnswer(bool yes)
{
    answer = yes;
}

} // namespace console

void FIOSetOwner(HWND) {}

HWND FIOOwner()
{
    return nullptr;
}

int FIOBox(HWND, unsigned, const char *, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    console::Say(Format(format, args));
    va_end(args);
    return 0;
}

const char *FIOReason(unsigned long error)
{
    static char text[64];
    snprintf(text, sizeof text, "error %lu", error);
    return text;
}

void FIOError(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    console::Say(Format(format, args));
    va_end(args);
}

bool FIOAsk(const char *, const char *, ...)
{
    return answer;
}

const char *FIOFileName()
{
    return romPath.c_str();
}

int FileOut(const unsigned char *image)
{
    console::SetSubject(romPath);
    if (!image) {
        console::Say("Save failed");
        return 1;
    }
    if (dryRun)
        return 0;
    const std::vector<uint8_t> bytes(image, image + ROMSize);
    // Saving in place first keeps the file as read beside it, as the window's first save does.
    std::string reason = savePath.empty() ? WriteReplacing(romPath + ".bak", original) : "";
    if (!reason.empty()) {
        console::Say("Save failed\nThe backup " + romPath + ".bak could not be written: " +
                     reason + ".");
        return 1;
    }
    const std::string &target = savePath.empty() ? romPath : savePath;
    reason = WriteReplacing(target, bytes);
    if (!reason.empty()) {
        console::SetSubject(target);
        console::Say("Save failed\n" + reason);
        return 1;
    }
    return 0;
}

const char *FIOWavIn(HWND)
{
    return samplePath.empty() ? nullptr : samplePath.c_str();
}

const char *FIOExportOut(HWND, const char *, int *wav)
{
    *wav = exportWav;
    return exportPath.empty() ? nullptr : exportPath.c_str();
}

unsigned char *FIOReadFile(const char *path, int limit, int *length, HWND)
{
    std::vector<uint8_t> bytes;
    errno = 0;
    const snesbrr::Status status = snesbrr::read_file(path, bytes);
    if (status != snesbrr::Status::Ok) {
        console::Say(std::string("The file could not be read: ") +
                     (status == snesbrr::Status::FileTooLarge ? "it is too large" : Reason()) + ".");
        *length = -1;
        return nullptr;
    }
    *length = static_cast<int>(bytes.size());
    if (*length > limit)
        return nullptr;
    auto *buffer = static_cast<unsigned char *>(malloc(bytes.size() + 1));
    if (!buffer) {
        console::Say("There is not enough memory to read this file.");
        *length = -1;
        return nullptr;
    }
    memcpy(buffer, bytes.data(), bytes.size());
    return buffer;
}

int FIOWriteFile(const char *path, const unsigned char *data, int size, HWND)
{
    const std::string reason = WriteReplacing(path, std::vector<uint8_t>(data, data + size));
    if (reason.empty())
        return 0;
    console::SetSubject(path);
    console::Say("The file could not be written: " + reason + ".");
    return 1;
}
