#include "cli.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "brr.h"
#include "brrfile.h"
#include "encoder.h"
#include "fileio.h"
#include "loop.h"
#include "voice.h"
#include "wav.h"

namespace snesbrr {

namespace {

const char kUsage[] =
    "usage: snesbrr IN.wav -e OUT.brr [LOOP] [--flat]   encode a WAV file to BRR\n"
    "       snesbrr IN.brr -d [-p PITCH] OUT.wav        play BRR on one DSP voice into a 32 kHz "
    "WAV\n"
    "       snesbrr IN.brr -d --blocks OUT.wav          the decoded blocks, before interpolation\n"
    "LOOP is --loop (the WAV file's own loop) or --loop-start S [--loop-end E]: frames\n"
    "in decimal, E exclusive and by default the end. A looped sample is written with\n"
    "the 2-byte loop offset in front. --flat minimises the error of the decoded samples\n"
    "rather than of what the DSP plays through its filter: for pre-emphasised input.\n"
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
    bool loops() const { return loop_from_file || has_loop_start; }
};

// Reads the whole file at `path` into `bytes` and parses them by
// `parse(data, size)`, which returns a Status.
template <class Parse>
Status read_and_parse(const std::string &path, std::vector<std::uint8_t> &bytes, Parse parse)
{
    const Status status = read_file(path, bytes);
    return status != Status::Ok ? status : parse(bytes.data(), bytes.size());
}

int encode_plain(const MonoPcm &pcm, const EncoderSettings &settings, const std::string &output,
                 std::ostream &err)
{
    const EncodedSample encoded = encode(pcm.samples.data(), pcm.samples.size(), settings);
    const Status status = write_file_replacing(output, encoded.brr);
    if (status != Status::Ok)
        return fail(err, output, describe(status));
    return kExitOk;
}

int encode_loop(const std::string &input, const MonoPcm &pcm, const Options &options,
                const EncoderSettings &settings, const std::string &output, std::ostream &err)
{
    const std::uint64_t frames = pcm.samples.size();
    std::uint64_t start = options.loop_start;
    std::uint64_t end = options.has_loop_end ? options.loop_end : frames;
    if (options.loop_from_file) {
        if (!pcm.has_loop)
            return fail(err, input, describe(Status::NoLoop));
        start = pcm.loop_start;
        // Some writers store one past the last frame played: that is the sound's end.
        end = pcm.loop_end == frames + 1 ? frames : pcm.loop_end;
    }
    if (start >= end)
        return fail(err, input,
                    "loop start " + std::to_string(start) + " is not before loop end " +
                        std::to_string(end));
    if (end > frames)
        return fail(err, input,
                    "loop end " + std::to_string(end) + " is past the sound's " +
                        std::to_string(frames) + " frames");
    const LoopLayout layout = plan_loop(start, end);
    if (layout.total() > kMaxEncodeSamples)
        return fail(err, input, describe(Status::TooLong));
    const std::size_t offset = layout.loop_start() / kBlockSamples * kBlockBytes;
    if (offset > kMaxLoopOffset)
        return fail(err, input, describe(Status::LoopTooFar));
    const std::vector<std::int16_t> laid = lay_out_loop(pcm.samples.data(), start, end, layout);
    const EncodedSample encoded =
        encode_looped(laid.data(), laid.size(), layout.loop_start(), settings);
    const Status status = write_file_replacing(output, make_headered(encoded.brr, offset));
    if (status != Status::Ok)
        return fail(err, output, describe(status));
    if (layout.resampled) {
        // The figure the utility derives from the output by the same rule.
        const double cents = layout.cents_flat();
        char line[160];
        std::snprintf(line, sizeof line,
                      "loop of %zu samples resampled to %zu (whole blocks): it plays %.2f cents "
                      "%s, so tune the instrument %.2f cents %s",
                      layout.input_length, layout.output_length, std::abs(cents),
                      cents > 0 ? "flat" : "sharp", std::abs(cents),
                      cents > 0 ? "higher" : "lower");
        err << "snesbrr: " << input << ": " << line << "\n";
    }
    return kExitOk;
}

int encode_file(const std::string &input, const std::string &output, const Options &options,
                std::ostream &err)
{
    std::vector<std::uint8_t> bytes;
    MonoPcm pcm;
    const Status status =
        read_and_parse(input, bytes, [&](const std::uint8_t *data, std::size_t size) {
            return read_wav(data, size, pcm);
        });
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    // An empty encoding would be a sample without even an end block.
    if (pcm.samples.empty())
        return fail(err, input, describe(Status::NoSamples));
    if (pcm.samples.size() > kMaxEncodeSamples)
        return fail(err, input, describe(Status::TooLong));
    EncoderSettings settings;
    settings.flat = options.flat;
    if (!options.loops())
        return encode_plain(pcm, settings, output, err);
    return encode_loop(input, pcm, options, settings, output, err);
}

int decode_file(const std::string &input, int pitch, bool blocks_only, const std::string &output,
                std::ostream &err)
{
    std::vector<std::uint8_t> bytes;
    BrrFile file;
    Status status = read_and_parse(input, bytes, [&](const std::uint8_t *data, std::size_t size) {
        return parse_brr_file(data, size, file);
    });
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    std::size_t loop_block = 0;
    const bool loops = plays_loop(file, loop_block);
    std::vector<std::int16_t> samples;
    std::vector<std::uint8_t> wav;
    if (blocks_only) {
        status = decode_all(file.blocks, file.size, samples);
        if (status == Status::Ok)
            wav = loops ? write_wav_looped(samples.data(), samples.size(), kOutputRate,
                                           static_cast<std::uint32_t>(loop_block * kBlockSamples),
                                           static_cast<std::uint32_t>(samples.size()))
                        : write_wav(samples.data(), samples.size(), kOutputRate);
    } else {
        status = loops ? render_looped_voice(file.blocks, file.size, pitch, loop_block, samples)
                       : render_voice(file.blocks, file.size, pitch, samples);
        if (status == Status::Ok)
            wav = write_wav(samples.data(), samples.size(), kOutputRate);
    }
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    status = write_file_replacing(output, wav);
    if (status != Status::Ok)
        return fail(err, output, describe(status));
    return kExitOk;
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
    if (decoding && (options.loops() || options.flat))
        return usage_error(err, "the loop options and --flat are for encoding (-e)");
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
