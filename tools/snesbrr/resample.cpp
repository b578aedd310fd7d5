#include "resample.h"

#include <algorithm>

namespace snesbrr {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Zero crossings each way: the transition band, centred on the cutoff, is about
// a tenth of it wide.
constexpr int kZeroCrossings = 64;
// Kaiser window shape: stopband near -100 dB.
constexpr double kKaiserBeta = 10.0;
// Table entries per zero crossing; linear interpolation between them errs
// below -100 dB.
constexpr int kTableSteps = 512;

// The modified Bessel function I0, by its power series, to double precision.
double bessel_i0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; term > 1e-17 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// sinc(u) times the window at u zero crossings, u = 0 .. kZeroCrossings by
// 1 / kTableSteps, with one zero entry past the end.
const std::vector<double> &kernel_table()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(kZeroCrossings * kTableSteps + 2, 0.0);
        const double norm = bessel_i0(kKaiserBeta);
        for (int k = 0; k <= kZeroCrossings * kTableSteps; ++k) {
            const double u = static_cast<double>(k) / kTableSteps;
            const double r = u / kZeroCrossings;
            const double x = kPi * u;
            const double sinc = k == 0 ? 1.0 : std::sin(x) / x;
            t[static_cast<std::size_t>(k)] =
                sinc * bessel_i0(kKaiserBeta * std::sqrt(std::max(0.0, 1 - r * r))) / norm;
        }
        return t;
    }();
    return table;
}

} // namespace

SincKernel::SincKernel(double step)
    : cutoff_(std::min(1.0, 1.0 / step)),
      reach_(static_cast<long>(std::ceil(kZeroCrossings / cutoff_)))
{
}

double SincKernel::weight(double frames) const
{
    const double position = std::abs(frames) * cutoff_ * kTableSteps;
    if (position >= kZeroCrossings * kTableSteps)
        return 0;
    const std::vector<double> &table = kernel_table();
    const auto k = static_cast<std::size_t>(position);
    const double fraction = position - static_cast<double>(k);
    return table[k] + fraction * (table[k + 1] - table[k]);
}

std::size_t resampled_length(std::size_t count, std::uint32_t from_rate, std::uint32_t to_rate)
{
    const std::uint64_t scaled = static_cast<std::uint64_t>(count) * to_rate;
    return static_cast<std::size_t>((scaled + from_rate - 1) / from_rate);
}

std::int16_t to_pcm(double v)
{
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

std::vector<std::int16_t> resample(const std::int16_t *pcm, std::size_t count,
                                   std::uint32_t from_rate, std::uint32_t to_rate)
{
    if (from_rate == to_rate)
        return std::vector<std::int16_t>(pcm, pcm + count);
    const SincKernel kernel(static_cast<double>(from_rate) / to_rate);
    const long frames = static_cast<long>(count);
    const auto source = [&](long i) -> double { return i < 0 || i >= frames ? 0.0 : pcm[i]; };
    std::vector<std::int16_t> out(resampled_length(count, from_rate, to_rate));
    for (std::size_t j = 0; j < out.size(); ++j) {
        // Exact to the frame: j * from is an integer.
        const double t = static_cast<double>(static_cast<std::uint64_t>(j) * from_rate) / to_rate;
        out[j] = to_pcm(kernel.at(t, source));
    }
    return out;
}

} // namespace snesbrr
