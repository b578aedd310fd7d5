#include "cli.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "brr.h"
#include "brrfile.h"
#include "convert.h"
#include "encoder.h"
#include "diskio.h"
#include "fit.h"
#include "loop.h"
#include "resample.h"
#include "voice.h"
#include "wav.h"

namespace snesbrr {

namespace {

const char kUsage[] =
    "usage: snesbrr IN.wav -e OUT.brr [LOOP] [--flat] [--rate HZ] [--max-bytes N]\n"
    "                                                   encode a WAV file to BRR\n"
    "       snesbrr IN.brr -d [-p PITCH] OUT.wav        play BRR on one DSP voice into a 32 kHz "
    "WAV\n"
    "       snesbrr IN.brr -d --blocks OUT.wav          the decoded blocks, before interpolation\n"
    "LOOP is --loop (the WAV file's own loop) or --loop-start S [--loop-end E]: frames\n"
    "in decimal, E exclusive and by default the end. A looped sample is written with\n"
    "the 2-byte loop offset in front. --flat minimises the error of the decoded samples\n"
    "rather than of what the DSP plays through its filter: for pre-emphasised input.\n"
    "--rate HZ (1000 to 32000) encodes the sound resampled to HZ; by default a WAV file\n"
    "above 32000 Hz is brought down to 32000, any other kept at its own rate.\n"
    "--max-bytes N encodes at the highest rate, up to that, whose output fits in N bytes.\n"
    "PITCH is the DSP pitch in hexadecimal, 0 to 3fff; 1000 (the default) plays at 32 kHz.\n";

bool parse_pitch(const std::string &text, int &pitch)
{
    if (text.empty() || text.size() > 4)
        return false;
    int value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = value * 16 + digit;
    }
    if (value > kMaxPitch)
        return false;
    pitch = value;
    return true;
}

// Decimal digits only; values past 2^64 saturate (they are refused as out of range).
bool parse_frames(const std::string &text, std::uint64_t &frames)
{
    if (text.empty())
        return false;
    frames = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        frames = frames > (UINT64_MAX - digit) / 10 ? UINT64_MAX : frames * 10 + digit;
    }
    return true;
}

int fail(std::ostream &err, const std::string &file, const std::string &what)
{
    err << "snesbrr: " << file << ": " << what << "\n";
    return kExitFailure;
}

// Writes bytes to output, all or nothing. kExitOk, or kExitFailure with the system's
// reason reported.
int write_output(const std::string &output, const std::vector<std::uint8_t> &bytes,
                 std::ostream &err)
{
    int system_error = 0;
    const Status status = write_file_replacing(output, bytes, &system_error);
    return status == Status::Ok ? kExitOk : fail(err, output, describe_write(status, system_error));
}

int usage_error(std::ostream &err, const std::string &what)
{
    err << "snesbrr: " << what << " (try --help)\n";
    return kExitUsage;
}

// What the options ask for, beside the input, mode and output. Frames are input frames.
struct Options {
    bool loop_from_file = false; // --loop
    bool has_loop_start = false;
    std::uint64_t loop_start = 0;
    bool has_loop_end = false;
    std::uint64_t loop_end = 0; // exclusive
    bool flat = false;
    bool blocks = false;
    bool has_rate = false;
    std::uint64_t rate = 0; // Hz
    bool has_max_bytes = false;
    std::uint64_t max_bytes = 0;
    bool loops() const { return loop_from_file || has_loop_start; }
};

// Reads the whole file at `path` into `bytes` and parses them into `into` by
// `parse(data, size, into)`, which returns a Status. True when parsed; else the
// failure is reported to `err`.
template <class Into>
bool read_input(const std::string &path, std::vector<std::uint8_t> &bytes,
                Status (*parse)(const std::uint8_t *, std::size_t, Into &), Into &into,
                std::ostream &err)
{
    Status status = read_file(path, bytes);
    if (status == Status::Ok)
        status = parse(bytes.data(), bytes.size(), into);
    if (status != Status::Ok)
        fail(err, path, describe(status));
    return status == Status::Ok;
}

// The shape of the sound that `plan` encodes, for sizing it.
SoundShape shape_of(const MonoPcm &pcm, const EncodePlan &plan)
{
    SoundShape shape;
    shape.frames = pcm.samples.size();
    shape.rate = pcm.sample_rate;
    shape.loops = plan.loops;
    shape.loop_start = plan.start;
    shape.loop_end = plan.end;
    return shape;
}

// The loop the options ask for, checked against the input; false after
// reporting a loop the input cannot satisfy.
bool resolve_loop(const std::string &input, const MonoPcm &pcm, const Options &options,
                  EncodePlan &plan, std::ostream &err)
{
    const std::uint64_t frames = pcm.samples.size();
    std::uint64_t start = options.loop_start;
    std::uint64_t end = options.has_loop_end ? options.loop_end : frames;
    if (options.loop_from_file) {
        if (!pcm.has_loop) {
            fail(err, input, describe(Status::NoLoop));
            return false;
        }
        start = pcm.loop_start;
        // Some writers store one past the last frame played: that is the sound's end.
        end = pcm.loop_end == frames + 1 ? frames : pcm.loop_end;
    }
    if (start >= end) {
        fail(err, input,
             "loop start " + std::to_string(start) + " is not before loop end " +
                 std::to_string(end));
        return false;
    }
    if (end > frames) {
        fail(err, input,
             "loop end " + std::to_string(end) + " is past the sound's " + std::to_string(frames) +
                 " frames");
        return false;
    }
    plan.loops = true;
    plan.start = start;
    plan.end = end;
    return true;
}

// `samples` with two decimals where it is not a whole number.
std::string sample_count(double samples)
{
    char text[32];
    if (samples == std::floor(samples))
        std::snprintf(text, sizeof text, "%.0f", samples);
    else
        std::snprintf(text, sizeof text, "%.2f", samples);
    return text;
}

// The lines a finished encoding per `plan` prints: its rate when that is not the
// DSP's, then a loop's tuning where its pitch was not kept.
void report_tuning(const std::string &input, const EncodePlan &plan, std::ostream &err)
{
    char line[200];
    if (plan.rate != kOutputRate) {
        const int rate = static_cast<int>(plan.rate);
        std::snprintf(line, sizeof line,
                      "encoded at %d Hz: pitch 0x%04x plays it at its recorded pitch, tuned "
                      "%+.2f cents against a 32 kHz sample",
                      rate, static_cast<unsigned>(pitch_for_rate(rate)), rate_cents(rate));
        err << "snesbrr: " << input << ": " << line << "\n";
    }
    const LoopLayout &layout = plan.layout;
    if (plan.loops && layout.resampled) {
        // The figure the utility derives from the output by the same rule.
        const double cents = layout.cents_flat();
        std::snprintf(line, sizeof line,
                      "loop of %s samples resampled to %zu (whole blocks): it plays %.2f cents "
                      "%s, so tune the instrument %.2f cents %s",
                      sample_count(layout.length_at_rate).c_str(), layout.output_length,
                      std::abs(cents), cents > 0 ? "flat" : "sharp", std::abs(cents),
                      cents > 0 ? "higher" : "lower");
        err << "snesbrr: " << input << ": " << line << "\n";
    }
}

int encode_file(const std::string &input, const std::string &output, const Options &options,
                std::ostream &err)
{
    std::vector<std::uint8_t> bytes;
    MonoPcm pcm;
    if (!read_input(input, bytes, read_wav, pcm, err))
        return kExitFailure;
    if (const Status status = check_encodable(pcm); status != Status::Ok)
        return fail(err, input, describe(status));
    EncoderSettings settings;
    settings.flat = options.flat;
    EncodePlan plan;
    if (options.loops() && !resolve_loop(input, pcm, options, plan, err))
        return kExitFailure;
    // The DSP plays at most 32 kHz: a faster recording is brought down to it.
    plan.rate = options.has_rate ? static_cast<std::uint32_t>(options.rate)
                                 : std::min<std::uint32_t>(pcm.sample_rate, kOutputRate);
    const std::uint32_t lowest = std::min<std::uint32_t>(plan.rate, kMinRate);
    if (options.has_max_bytes) {
        const std::uint32_t rate =
            highest_fitting_rate(shape_of(pcm, plan), options.max_bytes, plan.rate, lowest);
        if (rate == 0)
            return fail(err, input,
                        "does not fit in " + std::to_string(options.max_bytes) +
                            " bytes even at " + std::to_string(lowest) + " Hz, where it takes " +
                            std::to_string(least_bytes(shape_of(pcm, plan), lowest)));
        plan.rate = rate;
    }
    if (plan.loops)
        plan.layout = plan_loop(plan.start, plan.end, pcm.sample_rate, plan.rate);
    std::vector<std::uint8_t> encoded;
    Status status = encode_at(pcm, plan, settings, encoded);
    if (status == Status::Ok && options.has_max_bytes && encoded.size() > options.max_bytes) {
        // Only a lead-in block takes it over, and the rates just below decide it
        // alike (the sound's start hardly changes): the rate that leaves a block
        // for it. Only where no rate is that low is the lead-in given up.
        const std::uint32_t lower =
            options.max_bytes < kBlockBytes
                ? 0
                : highest_fitting_rate(shape_of(pcm, plan), options.max_bytes - kBlockBytes, plan.rate,
                                       lowest);
        if (lower != 0)
            plan.rate = lower;
        else
            settings.allow_lead_in = false;
        status = encode_at(pcm, plan, settings, encoded);
    }
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    if (write_output(output, encoded, err) != kExitOk)
        return kExitFailure;
    report_tuning(input, plan, err);
    return kExitOk;
}

int decode_file(const std::string &input, int pitch, bool blocks_only, const std::string &output,
                std::ostream &err)
{
    std::vector<std::uint8_t> bytes;
    BrrFile file;
    if (!read_input(input, bytes, parse_brr_file, file, err))
        return kExitFailure;
    std::vector<std::uint8_t> wav;
    if (const Status status = decode_to_wav(file, blocks_only, pitch, wav); status != Status::Ok)
        return fail(err, input, describe(status));
    return write_output(output, wav, err);
}

// Takes the options out of `args`, wherever they stand; the rest is left in order.
// Returns kExitOk, or a usage error already reported.
int take_options(std::vector<std::string> &args, Options &options, std::ostream &err)
{
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--loop-start" || a == "--loop-end") {
            const bool is_start = a == "--loop-start";
            if (i + 1 == args.size())
                return usage_error(err, a + " needs a number of frames");
            bool &seen = is_start ? options.has_loop_start : options.has_loop_end;
            if (seen)
                return usage_error(err, a + " is given twice");
            std::uint64_t &value = is_start ? options.loop_start : options.loop_end;
            if (!parse_frames(args[i + 1], value))
                return usage_error(err,
                                   a + " '" + args[i + 1] + "' is not a decimal number of frames");
            seen = true;
            ++i;
        } else if (a == "--rate" || a == "--max-bytes") {
            const bool is_rate = a == "--rate";
            bool &seen = is_rate ? options.has_rate : options.has_max_bytes;
            std::uint64_t &value = is_rate ? options.rate : options.max_bytes;
            if (seen)
                return usage_error(err, a + " is given twice");
            if (i + 1 == args.size() || !parse_frames(args[i + 1], value) ||
                (is_rate && (value < kMinRate || value > kOutputRate)))
                return usage_error(err, is_rate ? "--rate needs a decimal number of Hz, " +
                                                      std::to_string(kMinRate) + " to " +
                                                      std::to_string(kOutputRate)
                                                : "--max-bytes needs a decimal number of bytes");
            seen = true;
            ++i;
        } else if (a == "--loop" || a == "--flat" || a == "--blocks") {
            bool &flag = a == "--loop"   ? options.loop_from_file
                         : a == "--flat" ? options.flat
                                         : options.blocks;
            if (flag)
                return usage_error(err, a + " is given twice");
            flag = true;
        } else {
            rest.push_back(a);
        }
    }
    if (options.loop_from_file && (options.has_loop_start || options.has_loop_end))
        return usage_error(err, "--loop takes the loop from the file: give it without "
                                "--loop-start and --loop-end");
    if (options.has_loop_end && !options.has_loop_start)
        return usage_error(err, "--loop-end needs --loop-start");
    args = rest;
    return kExitOk;
}

int dispatch(std::vector<std::string> args, std::ostream &out, std::ostream &err)
{
    for (const std::string &a : args) {
        if (a == "-h" || a == "--help") {
            out << kUsage;
            return kExitOk;
        }
    }
    if (args.empty())
        return usage_error(err, "no arguments");
    Options options;
    if (const int code = take_options(args, options, err); code != kExitOk)
        return code;
    const bool encoding = args.size() == 3 && args[1] == "-e";
    const bool decoding = (args.size() == 3 && args[1] == "-d") ||
                          (args.size() == 5 && args[1] == "-d" && args[2] == "-p");
    if (encoding && options.blocks)
        return usage_error(err, "--blocks is for decoding (-d)");
    if (decoding && (options.loops() || options.flat || options.has_rate || options.has_max_bytes))
        return usage_error(err,
                           "the loop options, --flat, --rate and --max-bytes are for encoding (-e)");
    if (decoding && options.blocks && args.size() == 5)
        return usage_error(err, "-p does not go with --blocks: the blocks are not played");
    if (encoding)
        return encode_file(args[0], args[2], options, err);
    if (decoding && args.size() == 3)
        return decode_file(args[0], kUnityPitch, options.blocks, args[2], err);
    if (decoding) {
        int pitch = 0;
        if (!parse_pitch(args[3], pitch))
            return usage_error(err, "pitch '" + args[3] + "' is not hexadecimal 0 to 3fff");
        return decode_file(args[0], pitch, false, args[4], err);
    }
    return usage_error(err, "unexpected arguments");
}

} // namespace

int run(int argc, const char *const argv[], std::ostream &out, std::ostream &err)
{
    try {
        return dispatch(std::vector<std::string>(argv + 1, argv + argc), out, err);
    } catch (const std::bad_alloc &) {
        // Outputs are only put in place once complete, so none is left behind.
        err << "snesbrr: out of memory\n";
        return kExitFailure;
    }
}

} // namespace snesbrr
