#include "console_io.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "FileIO.h"
#include "diskio.h" // the codec's whole-file read and all-or-nothing write

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

// True when the file at path can be opened for reading.
bool Openable(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file)
        std::fclose(file);
    return file != nullptr;
}

// Says a text that names its file itself, without the subject in front.
__attribute__((format(printf, 1, 2))) void SayNaming(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    const std::string kept = subject;
    subject.clear();
    console::Say(text);
    subject = kept;
}

// Makes the file at path hold exactly size bytes at data, all or nothing, through the
// codec's writer. "" when done, else the system's reason, with path as it was.
std::string WriteReplacing(const std::string &path, const uint8_t *data, size_t size)
{
    int system_error = 0;
    const snesbrr::Status status = snesbrr::write_file_replacing(path, data, size, &system_error);
    if (status == snesbrr::Status::Ok)
        return "";
    return system_error ? snesbrr::system_reason(system_error) : snesbrr::describe(status);
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
    // The window's checks, in its order and with its texts.
    SetSubject(path);
    if (!Openable(path)) {
        Say(FIO_TEXT_INVALID_PATH);
        return false;
    }
    std::vector<uint8_t> bytes;
    const snesbrr::Status status = snesbrr::read_file(path, bytes, INT_MAX);
    if (status == snesbrr::Status::FileTooLarge) {
        Say(FIO_TEXT_ROM_TOO_LARGE);
        return false;
    }
    if (status != snesbrr::Status::Ok) {
        Say(FIO_TEXT_ROM_UNREADABLE);
        return false;
    }
    if (bytes.size() <= 0x100000) {
        Say(FIO_TEXT_UNEXPANDED);
        return false;
    }
    auto *image = static_cast<unsigned char *>(malloc(bytes.size()));
    if (!image) {
        Say(FIO_TEXT_ROM_NO_MEMORY);
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

void FIOErrorFor(HWND, const char *format, ...)
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
        console::Say(FIO_TEXT_SAVE_FAILED);
        return 1;
    }
    if (dryRun)
        return 0;
    // Saving in place first keeps the file as read beside it, as the window's first save
    // does. The line names the file that could not be written: the backup or the ROM.
    std::string target = romPath + ".bak";
    std::string reason =
        savePath.empty() ? WriteReplacing(target, original.data(), original.size()) : "";
    if (reason.empty()) {
        target = savePath.empty() ? romPath : savePath;
        reason = WriteReplacing(target, image, size_t(ROMSize));
    }
    if (!reason.empty()) {
        console::SetSubject(target);
        console::Say(FIO_TEXT_SAVE_FAILED "\n" + reason + ".");
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
    *length = -1;
    if (!Openable(path)) {
        SayNaming(FIO_TEXT_CANNOT_OPEN, path);
        return nullptr;
    }
    // A file past the limit is not read: it is the caller's to report, with its size.
    std::error_code error;
    const uintmax_t measured = std::filesystem::file_size(path, error);
    if (!error && measured > static_cast<uintmax_t>(limit)) {
        *length = static_cast<int>(std::min<uintmax_t>(measured, INT_MAX));
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    const snesbrr::Status status =
        snesbrr::read_file(path, bytes, static_cast<size_t>(std::max(limit, 0)));
    auto *buffer = status == snesbrr::Status::Ok
                       ? static_cast<unsigned char *>(malloc(bytes.size() + 1))
                       : nullptr;
    if (!buffer) {
        SayNaming(FIO_TEXT_READ_INCOMPLETE, path);
        return nullptr;
    }
    *length = static_cast<int>(bytes.size());
    memcpy(buffer, bytes.data(), bytes.size());
    return buffer;
}

int FIOWriteFile(const char *path, const unsigned char *data, int size, HWND)
{
    if (dryRun)
        return 0;
    const std::string reason = WriteReplacing(path, data, size_t(size));
    if (reason.empty())
        return 0;
    SayNaming(FIO_TEXT_CANNOT_WRITE, path, (reason + ".").c_str());
    return 1;
}
