#include "tarvo.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <toml++/toml.h>

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SPCM.h"
#include "addr.h"
#include "brrfile.h"
#include "console_io.h"
#include "diskio.h"
#include "inprocess_codec.h"
#include "snesbrr.h"
#include "version.h"
#include "voice.h"

namespace {

__attribute__((format(printf, 1, 2))) void Sayf(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    console::Say(text);
}

// 1 to 8 hexadecimal digits, as the window's fields take them.
bool ParseHex(const std::string &text, unsigned long &value)
{
    if (text.empty() || text.size() > 8)
        return false;
    for (const char c : text)
        if (!isxdigit(static_cast<unsigned char>(c)))
            return false;
    value = std::stoul(text, nullptr, 16);
    return true;
}

bool EndsWith(const std::string &text, const char *tail)
{
    const size_t n = strlen(tail);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(static_cast<unsigned char>(text[text.size() - n + i])) != tail[i])
            return false;
    return true;
}

// What a command asks of a sample that it inserts.
struct SampleStep {
    int slot = 0;
    std::string file;
    enum { Once, OwnLoop, Range } loop = Once;
    long long loopStart = 0, loopEnd = -1; // frames; -1: the sound's end
    int rate = 0;                          // Hz; 0: the file's own
    bool fit = false;
};

// The loop that the command line gives, handed to the engine in place of the Loop
// dialog; a refused loop is reported with the dialog's texts.
const SampleStep *asked = nullptr;

int AskLoop(HWND, SPCMLoop *loop)
{
    if (asked->loop == SampleStep::OwnLoop)
        return 1;
    const long long start = asked->loopStart;
    const long long end = asked->loopEnd < 0 ? loop->frames : asked->loopEnd;
    if (const char *refusal = SPCMLoopRefusal(loop, start, end)) {
        console::Say(refusal);
        return 0;
    }
    loop->start = static_cast<int>(start);
    loop->end = static_cast<int>(end);
    return 1;
}

// The window's Tuning box, as one line.
void TellTuning(double cents)
{
    const int rate = SPCMInsertedRate();
    const bool moved = rate != 0 && rate != 32000;
    if (moved)
        Sayf(SPCM_TEXT_TUNED_RATE, rate, static_cast<unsigned>(SPCMPitchFor(rate)),
             snesbrr::rate_cents(rate));
    if (cents != 0)
        Sayf(SPCM_TEXT_TUNED_LOOP, std::fabs(cents), cents > 0 ? "flat" : "sharp", std::fabs(cents),
             cents > 0 ? "up" : "down");
}

// A .brr file goes in as it is: the rate and fit are for WAV files, and a raw one's loop
// only starts where the command says, its end being the sound's end.
bool TakesOptions(const SampleStep &step)
{
    return !EndsWith(step.file, ".brr") ||
           (step.rate == 0 && !step.fit && (step.loop != SampleStep::Range || step.loopEnd < 0));
}

// True when the .brr file at path has the 2-byte loop header; false for raw blocks, or a
// file the engine is left to refuse.
bool Headered(const std::string &path)
{
    std::vector<uint8_t> bytes;
    snesbrr::BrrFile file;
    return snesbrr::read_file(path, bytes) == snesbrr::Status::Ok &&
           snesbrr::parse_brr_file(bytes.data(), bytes.size(), file) == snesbrr::Status::Ok &&
           file.headered;
}

// Inserts as the window's Insert or Insert Looped does, the file and loop coming from
// the command.
int InsertStep(const SampleStep &step)
{
    if (SPCMFetchStart(step.slot) != 0) {
        Sayf("Slot %.2X already holds a sample; delete it first.", static_cast<unsigned>(step.slot));
        return kTarvoRefused;
    }
    if (EndsWith(step.file, ".brr") && step.loop == SampleStep::Range && Headered(step.file)) {
        console::Say("This .brr file's header names its loop; a loop start is for raw blocks.\n"
                     "Nothing was inserted.");
        return kTarvoRefused;
    }
    if (!EndsWith(step.file, ".brr") && step.loop == SampleStep::OwnLoop) {
        int frames = 0, start = -1, end = 0;
        if (!BRRWavLoop(step.file.c_str(), nullptr, &frames, &start, &end))
            return kTarvoRefused;
        if (start < 0) {
            console::Say("This WAV file has no loop of its own.\nGive the loop with its start "
                         "and end; nothing was inserted.");
            return kTarvoRefused;
        }
    }
    const int before = console::Said();
    console::SetSample(step.file);
    // The window asks before it encodes at a lower rate: fit is the command's Yes.
    console::SetAnswer(step.fit);
    SPCMSetInsertRate(step.rate);
    asked = &step;
    double cents = 0;
    const int result = step.loop == SampleStep::Once
                           ? SPCMInsertSample(step.slot, nullptr)
                           : SPCMInsertLooped(step.slot, nullptr, AskLoop, &cents);
    SPCMSetInsertRate(0);
    if (result != 0) {
        if (console::Said() == before)
            console::Say("Nothing was inserted.");
        return kTarvoRefused;
    }
    TellTuning(cents);
    return kTarvoOk;
}

// Loads the ROM and, when it has one, its bank. A ROM without a bank is refused when
// needBank. *hasBank tells whether a bank was read.
int Open(const std::string &rom, bool needBank, bool *hasBank = nullptr)
{
    if (!console::LoadRom(rom))
        return kTarvoRefused;
    const bool present = SPCMCheckPresence() != 0;
    if (hasBank)
        *hasBank = present;
    if (!present && needBank) {
        console::Say("This ROM has no sample bank.\nBuild one with: tarvo setup ROM OFFSET");
        return kTarvoRefused;
    }
    if (present && !SPCMReadIn())
        return kTarvoRefused;
    return kTarvoOk;
}

int Save()
{
    return SPCMSave() == 0 ? kTarvoOk : kTarvoRefused;
}

// Builds the bank at offset in a ROM without one; a bank that holds data only when force,
// else refused with the hint that says how to force it.
int Setup(unsigned long offset, bool force, const char *hint)
{
    if (const char *refusal = SPCMBoundaryRefusal(static_cast<long>(offset),
                                                  static_cast<int>(AddrHeaderSize(ROMSize)))) {
        console::Say(refusal);
        return kTarvoRefused;
    }
    const int data = SPCMBankData(static_cast<int>(offset));
    if (data > 0 && !force) {
        Sayf("The bank at %lX is not empty: %d of its 32768 bytes hold data.\n%s", offset, data,
             hint);
        return kTarvoRefused;
    }
    if (!SPCMSetupROM(static_cast<int>(offset)) || !SPCMReadIn())
        return kTarvoRefused;
    return kTarvoOk;
}

bool SlotUsed(int slot, const char *action)
{
    if (SPCMFetchStart(slot) != 0)
        return true;
    Sayf("Slot %.2X is empty: there is nothing to %s.", static_cast<unsigned>(slot), action);
    return false;
}

int Info(const std::string &rom, std::ostream &out)
{
    bool bank = false;
    if (const int code = Open(rom, false, &bank))
        return code;
    const unsigned header = AddrHeaderSize(ROMSize);
    out << "file: " << rom << "\n"
        << "header: " << (header ? "headered (512-byte copier header)" : "headerless") << "\n"
        << "size: " << ROMSize << " bytes\n";
    char text[64];
    if (bank)
        snprintf(text, sizeof text, "bank: %X\nfree: %d bytes\n",
                 static_cast<unsigned>(SPCMBankOffset()), SPCMGetFree());
    else
        snprintf(text, sizeof text, "bank: no sample bank\n");
    out << text;
    return kTarvoOk;
}

int List(const std::string &rom, bool json, std::ostream &out)
{
    if (const int code = Open(rom, true))
        return code;
    if (json) {
        nlohmann::ordered_json list = {{"free", SPCMGetFree()}, {"bank", SPCMBankOffset()}};
        nlohmann::ordered_json slots = nlohmann::ordered_json::array();
        for (int i = 0; i < kSPCMSlots; ++i)
            slots.push_back({{"slot", i},
                             {"start", SPCMFetchStart(i)},
                             {"loop", SPCMFetchLoop(i)},
                             {"size", SPCMGetSampleSize(i)},
                             {"looped", SPCMLoopOffset(i) >= 0}});
        list["slots"] = slots;
        out << list.dump() << "\n";
        return kTarvoOk;
    }
    out << "slot  start  loop   size  looped\n";
    char row[64];
    for (int i = 0; i < kSPCMSlots; ++i) {
        snprintf(row, sizeof row, "%.2X    %.4X   %.4X  %5d  %s\n", static_cast<unsigned>(i),
                 static_cast<unsigned>(SPCMFetchStart(i)), static_cast<unsigned>(SPCMFetchLoop(i)),
                 SPCMGetSampleSize(i),
                 SPCMFetchStart(i) == 0 ? "-" : SPCMLoopOffset(i) >= 0 ? "yes" : "no");
        out << row;
    }
    out << "free: " << SPCMGetFree() << " bytes\n";
    return kTarvoOk;
}

int Render(int slot, int pitch, const std::string &path)
{
    if (!SlotUsed(slot, "render"))
        return kTarvoRefused;
    std::vector<unsigned char> file(kSPCMMaxFile);
    const int size = SPCMSampleFile(slot, file.data());
    std::vector<uint8_t> wav;
    if (!BRRRender(file.data(), size, pitch, wav))
        return kTarvoRefused;
    return FIOWriteFile(path.c_str(), wav.data(), static_cast<int>(wav.size()), nullptr) == 0
               ? kTarvoOk
               : kTarvoRefused;
}

// The manifest: checked whole before any step runs, then run in order.
class Manifest {
  public:
    explicit Manifest(const std::string &path) : path_(path)
    {
        const size_t slash = path.find_last_of("/\\");
        folder_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    }

    // Reads and checks the manifest; false after a reported refusal.
    bool Read()
    {
        toml::table table;
        try {
            table = toml::parse_file(path_);
        } catch (const toml::parse_error &e) {
            Refuse(e.source().begin.line, std::string(e.description()));
            return false;
        }
        for (auto &&[key, node] : table) {
            const std::string name(key.str());
            if (name == "bank") {
                unsigned long offset = 0;
                const auto *text = node.as_string();
                if (!text || !ParseHex(text->get(), offset))
                    return Refuse(node, "bank must be a hexadecimal file offset in quotes, as \"100200\"");
                bank_ = static_cast<long>(offset);
                bankLine_ = Line(node);
            } else if (name == "delete") {
                const auto *slots = node.as_array();
                if (!slots)
                    return Refuse(node, "delete must be a list of slots, as [0x05, 0x06]");
                for (auto &&slot : *slots) {
                    Step step;
                    step.line = Line(slot);
                    if (!ReadSlot(slot, step.sample.slot))
                        return false;
                    deletes_.push_back(step);
                }
            } else if (name == "insert") {
                const auto *inserts = node.as_array();
                if (!inserts || !inserts->is_array_of_tables())
                    return Refuse(node, "insert must be [[insert]] tables");
                for (auto &&entry : *inserts)
                    if (!ReadInsert(*entry.as_table()))
                        return false;
            } else {
                return Refuse(node, "unknown key \"" + name + "\"");
            }
        }
        return true;
    }

    int Run(const std::string &rom)
    {
        bool present = false;
        if (const int code = Open(rom, false, &present))
            return code;
        if (!present) {
            if (bank_ < 0) {
                console::Say("This ROM has no sample bank, and the manifest names no bank to "
                             "build.\nAdd bank = \"OFFSET\" to " + path_ + ".");
                return kTarvoRefused;
            }
            console::SetSubject(path_ + ":" + std::to_string(bankLine_) + ": bank");
            if (const int code = Setup(static_cast<unsigned long>(bank_), false,
                                         "Choose a free bank, or build the bank there first "
                                         "with tarvo setup --force."))
                return code;
        }
        for (const Step &step : deletes_) {
            Name(step, "");
            if (!SlotUsed(step.sample.slot, "delete"))
                return kTarvoRefused;
            SPCMDeleteSample(step.sample.slot);
        }
        for (const Step &step : inserts_) {
            Name(step, ": " + step.sample.file);
            if (InsertStep(step.sample) != kTarvoOk)
                return kTarvoRefused;
        }
        return Save();
    }

  private:
    struct Step {
        int line = 0;
        SampleStep sample;
    };

    static int Line(const toml::node &node) { return static_cast<int>(node.source().begin.line); }

    // The step's place in the manifest and its slot, in front of its messages.
    void Name(const Step &step, const std::string &more) const
    {
        char slot[16];
        snprintf(slot, sizeof slot, ": slot %.2X", static_cast<unsigned>(step.sample.slot));
        console::SetSubject(path_ + ":" + std::to_string(step.line) + slot + more);
    }

    bool Refuse(int line, const std::string &what) const
    {
        console::SetSubject(path_ + ":" + std::to_string(line));
        console::Say(what);
        return false;
    }

    bool Refuse(const toml::node &node, const std::string &what) const
    {
        return Refuse(Line(node), what);
    }

    bool ReadSlot(const toml::node &node, int &slot) const
    {
        const auto *value = node.as_integer();
        if (!value || value->get() < 0 || value->get() >= kSPCMSlots)
            return Refuse(node, "a slot is a number from 0x00 to 0x3F");
        slot = static_cast<int>(value->get());
        return true;
    }

    bool ReadInsert(const toml::table &table)
    {
        Step step;
        step.line = Line(table);
        bool hasSlot = false, hasFile = false;
        for (auto &&[key, node] : table) {
            const std::string name(key.str());
            SampleStep &s = step.sample;
            if (name == "slot") {
                if (!ReadSlot(node, s.slot))
                    return false;
                hasSlot = true;
            } else if (name == "file") {
                const auto *file = node.as_string();
                if (!file)
                    return Refuse(node, "file must be a path in quotes");
                s.file = file->get();
                // Relative paths start from the manifest's folder.
                if (!s.file.empty() && s.file[0] != '/' && s.file[0] != '\\' &&
                    !(s.file.size() > 1 && s.file[1] == ':'))
                    s.file = folder_ + s.file;
                hasFile = true;
            } else if (name == "loop") {
                const auto *own = node.as_boolean();
                const auto *range = node.as_array();
                if (own) {
                    s.loop = own->get() ? SampleStep::OwnLoop : SampleStep::Once;
                } else if (range && range->size() == 2 && range->get(0)->is_integer() &&
                           range->get(1)->is_integer() && range->get(0)->as_integer()->get() >= 0 &&
                           range->get(1)->as_integer()->get() >= 0) {
                    s.loop = SampleStep::Range;
                    s.loopStart = range->get(0)->as_integer()->get();
                    s.loopEnd = range->get(1)->as_integer()->get();
                } else {
                    return Refuse(node, "loop must be true, false or [start, end] in frames");
                }
            } else if (name == "rate") {
                const auto *rate = node.as_integer();
                if (!rate || rate->get() < 1000 || rate->get() > 32000)
                    return Refuse(node, "rate must be a number of Hz from 1000 to 32000");
                s.rate = static_cast<int>(rate->get());
            } else if (name == "fit") {
                const auto *fit = node.as_boolean();
                if (!fit)
                    return Refuse(node, "fit must be true or false");
                s.fit = fit->get();
            } else {
                return Refuse(node, "unknown key \"" + name + "\"");
            }
        }
        if (!hasSlot || !hasFile)
            return Refuse(step.line, "an [[insert]] needs a slot and a file");
        if (step.sample.rate && step.sample.fit)
            return Refuse(step.line, "an [[insert]] takes rate or fit, not both");
        if (!TakesOptions(step.sample))
            return Refuse(step.line, "a .brr file takes neither a loop range, rate nor fit");
        inserts_.push_back(step);
        return true;
    }

    std::string path_, folder_;
    long bank_ = -1;
    int bankLine_ = 0;
    std::vector<Step> deletes_, inserts_;
};

const char kUsage[] = "tarvo COMMAND ROM ... (commands: info, list, setup, insert, delete, export, "
                      "render, apply; see tarvo --help)";

struct Usage {
    const char *command, *line;
};

const Usage kUsages[] = {
    {"info", "tarvo info ROM"},
    {"list", "tarvo list ROM [--json]"},
    {"setup", "tarvo setup ROM OFFSET [--force] [-o OUT] [--dry-run]"},
    {"insert", "tarvo insert ROM SLOT FILE [--loop | --loop-start S [--loop-end E]] "
               "[--rate HZ | --fit] [-o OUT] [--dry-run]"},
    {"delete", "tarvo delete ROM SLOT [-o OUT] [--dry-run]"},
    {"export", "tarvo export ROM SLOT OUT.brr|OUT.wav [--dry-run]"},
    {"render", "tarvo render ROM SLOT OUT.wav [--pitch P] [--dry-run]"},
    {"apply", "tarvo apply ROM MANIFEST [-o OUT] [--dry-run]"},
};

int UsageError(std::ostream &err, const std::string &what, const std::string &command)
{
    const char *line = kUsage;
    for (const Usage &usage : kUsages)
        if (command == usage.command)
            line = usage.line;
    err << "tarvo: " << what << "\nusage: " << line << "\n";
    return kTarvoUsage;
}

// Everything the command line gives.
struct Args {
    std::string rom, slot, file, out, offset, manifest, pitch = "1000";
    bool json = false, force = false, loop = false, fit = false, dryRun = false;
    long long loopStart = -1, loopEnd = -1;
    int rate = 0;
};

int Dispatch(CLI::App &app, const Args &a, std::ostream &out, std::ostream &err)
{
    const std::string command = app.get_subcommands().front()->get_name();
    unsigned long number = 0;
    int slot = 0;
    if (!a.slot.empty()) {
        if (a.slot.size() > 2 || !ParseHex(a.slot, number) || number >= kSPCMSlots)
            return UsageError(err, "SLOT '" + a.slot + "' is not two hexadecimal digits, 00 to 3F",
                              command);
        slot = static_cast<int>(number);
    }
    console::SetSaveTarget(a.out, a.dryRun);
    if (command == "info")
        return Info(a.rom, out);
    if (command == "list")
        return List(a.rom, a.json, out);
    if (command == "setup") {
        unsigned long offset = 0;
        if (!ParseHex(a.offset, offset))
            return UsageError(err, "OFFSET '" + a.offset + "' is not hexadecimal", command);
        if (const int code = Open(a.rom, false))
            return code;
        if (SPCMCheckPresence()) {
            console::Say("This ROM already has a sample bank.");
            return kTarvoRefused;
        }
        const int code = Setup(offset, a.force,
                               "Give --force to build the sample bank there anyway; that data "
                               "will be overwritten.");
        return code ? code : Save();
    }
    if (command == "insert") {
        SampleStep step;
        step.slot = slot;
        step.file = a.file;
        step.loop = a.loop ? SampleStep::OwnLoop : a.loopStart >= 0 ? SampleStep::Range : SampleStep::Once;
        step.loopStart = a.loopStart;
        step.loopEnd = a.loopEnd;
        step.rate = a.rate;
        step.fit = a.fit;
        if (!TakesOptions(step))
            return UsageError(
                err, a.file + ": a .brr file takes neither --loop-end, --rate nor --fit", command);
        if (const int code = Open(a.rom, true))
            return code;
        console::SetSubject(a.file);
        const int code = InsertStep(step);
        return code ? code : Save();
    }
    if (command == "delete") {
        if (const int code = Open(a.rom, true))
            return code;
        if (!SlotUsed(slot, "delete"))
            return kTarvoRefused;
        SPCMDeleteSample(slot);
        return Save();
    }
    if (command == "export") {
        const bool wav = EndsWith(a.file, ".wav");
        if (!wav && !EndsWith(a.file, ".brr"))
            return UsageError(err, "OUT '" + a.file + "' must end in .brr or .wav", command);
        if (const int code = Open(a.rom, true))
            return code;
        if (!SlotUsed(slot, "export"))
            return kTarvoRefused;
        console::SetExport(a.file, wav);
        return SPCMExportSample(slot, nullptr) == 0 ? kTarvoOk : kTarvoRefused;
    }
    if (command == "render") {
        if (!ParseHex(a.pitch, number))
            return UsageError(err, "Invalid pitch input: '" + a.pitch + "'", command);
        if (number > snesbrr::kMaxPitch)
            return UsageError(err, "Pitch too high.  Input a value 0 - 0x3FFF.", command);
        if (const int code = Open(a.rom, true))
            return code;
        return Render(slot, static_cast<int>(number), a.file);
    }
    Manifest manifest(a.manifest);
    if (!manifest.Read())
        return kTarvoRefused;
    return manifest.Run(a.rom);
}

} // namespace

int TarvoRun(int argc, const char *const argv[], std::ostream &out, std::ostream &err)
{
    console::Begin(err);
    CLI::App app{"Edits the sample bank of the game's ROM: the 64 instrument samples and "
                 "their directory.\nSLOT is two hexadecimal digits (00-3F), OFFSET and PITCH "
                 "are hexadecimal, frame counts and rates decimal.",
                 "tarvo"};
    app.set_version_flag("--version", std::string("tarvo ") + TARVO_VERSION_TEXT);
    app.require_subcommand(1);
    Args a;
    auto rom = [&](CLI::App *sub) { sub->add_option("ROM", a.rom, "the ROM file")->required(); };
    auto slot = [&](CLI::App *sub) {
        sub->add_option("SLOT", a.slot, "the slot, 00 to 3F")->required();
    };
    auto dryRun = [&](CLI::App *sub) {
        sub->add_flag("--dry-run", a.dryRun, "do everything but write");
    };
    auto writes = [&](CLI::App *sub) {
        sub->add_option("-o", a.out, "write the result to OUT and leave ROM untouched")->type_name("OUT");
        dryRun(sub);
    };

    CLI::App *info = app.add_subcommand("info", "header form, file size, the bank's offset, free bytes");
    rom(info);
    CLI::App *list = app.add_subcommand("list", "the 64 slots and the free bytes");
    rom(list);
    list->add_flag("--json", a.json, "one JSON object");
    CLI::App *setup = app.add_subcommand("setup", "build the sample bank at OFFSET");
    rom(setup);
    setup->add_option("OFFSET", a.offset, "file offset of a bank start, hexadecimal")->required();
    setup->add_flag("--force", a.force, "build it over a bank that holds data");
    writes(setup);
    CLI::App *insert = app.add_subcommand("insert", "put a WAV or .brr file into an empty slot");
    rom(insert);
    slot(insert);
    insert->add_option("FILE", a.file, "the WAV or .brr file")->required();
    CLI::Option *loop = insert->add_flag("--loop", a.loop, "loop as the file's own loop says");
    CLI::Option *start =
        insert->add_option("--loop-start", a.loopStart, "loop from frame S")
            ->check(CLI::NonNegativeNumber)
            ->type_name("S");
    CLI::Option *end = insert->add_option("--loop-end", a.loopEnd, "to frame E, exclusive (default: the end)")
                           ->check(CLI::NonNegativeNumber)
                           ->type_name("E")
                           ->needs(start);
    loop->excludes(start)->excludes(end);
    CLI::Option *rate =
        insert->add_option("--rate", a.rate, "encode at HZ, 1000 to 32000")->check(CLI::Range(1000, 32000))->type_name("HZ");
    insert->add_flag("--fit", a.fit, "encode at the highest rate that fits the free space")->excludes(rate);
    writes(insert);
    CLI::App *del = app.add_subcommand("delete", "delete a slot's sample");
    rom(del);
    slot(del);
    writes(del);
    CLI::App *exp = app.add_subcommand("export", "write a slot's sample to OUT.brr or OUT.wav");
    rom(exp);
    slot(exp);
    exp->add_option("OUT", a.file, "the .brr or .wav file")->required();
    dryRun(exp);
    CLI::App *render = app.add_subcommand("render", "write the WAV file that Play plays");
    rom(render);
    slot(render);
    render->add_option("OUT", a.file, "the WAV file")->required();
    render->add_option("--pitch", a.pitch, "hexadecimal, 0 to 3FFF; 1000 plays as recorded")
        ->type_name("P");
    dryRun(render);
    CLI::App *apply = app.add_subcommand("apply", "run the steps of a TOML manifest, all or nothing");
    rom(apply);
    apply->add_option("MANIFEST", a.manifest, "the manifest")->required();
    writes(apply);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0)
            return app.exit(e, out, err);
        const auto chosen = app.get_subcommands();
        return UsageError(err, e.what(), chosen.empty() ? "" : chosen.front()->get_name());
    }
    try {
        return Dispatch(app, a, out, err);
    } catch (const std::bad_alloc &) {
        err << "tarvo: out of memory\n";
        return kTarvoRefused;
    }
}
