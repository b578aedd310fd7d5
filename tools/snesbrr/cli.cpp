#include "cli.h"

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "encoder.h"
#include "fileio.h"
#include "voice.h"
#include "wav.h"

namespace snesbrr {

namespace {

const char kUsage[] =
    "usage: snesbrr IN.wav -e OUT.brr             encode a WAV file to raw BRR\n"
    "       snesbrr IN.brr -d [-p PITCH] OUT.wav  play BRR on one DSP voice into a 32 kHz WAV\n"
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

int fail(std::ostream &err, const std::string &file, const char *what)
{
    err << "snesbrr: " << file << ": " << what << "\n";
    return kExitFailure;
}

int usage_error(std::ostream &err, const std::string &what)
{
    err << "snesbrr: " << what << " (try --help)\n";
    return kExitUsage;
}

int encode_file(const std::string &input, const std::string &output, std::ostream &err)
{
    std::vector<std::uint8_t> bytes;
    Status status = read_file(input, bytes);
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    MonoPcm pcm;
    status = read_wav(bytes.data(), bytes.size(), pcm);
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    if (pcm.samples.size() > kMaxEncodeSamples)
        return fail(err, input, describe(Status::TooLong));
    const EncodedSample encoded = encode(pcm.samples.data(), pcm.samples.size());
    status = write_file_replacing(output, encoded.brr);
    if (status != Status::Ok)
        return fail(err, output, describe(status));
    return kExitOk;
}

int decode_file(const std::string &input, int pitch, const std::string &output, std::ostream &err)
{
    std::vector<std::uint8_t> bytes;
    Status status = read_file(input, bytes);
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    std::vector<std::int16_t> rendered;
    status = render_voice(bytes.data(), bytes.size(), pitch, rendered);
    if (status != Status::Ok)
        return fail(err, input, describe(status));
    status = write_file_replacing(output, write_wav(rendered.data(), rendered.size(), kOutputRate));
    if (status != Status::Ok)
        return fail(err, output, describe(status));
    return kExitOk;
}

int dispatch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    for (const std::string &a : args) {
        if (a == "-h" || a == "--help") {
            out << kUsage;
            return kExitOk;
        }
    }
    if (args.size() == 3 && args[1] == "-e")
        return encode_file(args[0], args[2], err);
    if (args.size() == 3 && args[1] == "-d")
        return decode_file(args[0], kUnityPitch, args[2], err);
    if (args.size() == 5 && args[1] == "-d" && args[2] == "-p") {
        int pitch = 0;
        if (!parse_pitch(args[3], pitch))
            return usage_error(err, "pitch '" + args[3] + "' is not hexadecimal 0 to 3fff");
        return decode_file(args[0], pitch, args[4], err);
    }
    if (args.empty())
        return usage_error(err, "no arguments");
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
