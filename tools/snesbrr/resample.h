#pragma once
// Band-limited resampling: a Kaiser-windowed sinc, tabulated once.
//
// The kernel reaches kZeroCrossings zero crossings of its sinc each way. Its
// cutoff is the Nyquist frequency of the lower of the two rates, so
// downsampling filters out what the new rate cannot hold and the kernel grows
// (in input frames) by the same factor.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace snesbrr {

class SincKernel {
  public:
    // `step`: input frames per output sample (> 0).
    explicit SincKernel(double step);

    // Value at input time `t` (frames) of the sound `source(i)` (a double for
    // every frame index i, whatever its range), low-passed at the cutoff.
    // Normalised so that a constant stays exactly constant at every fraction.
    template <class Source> double at(double t, Source source) const
    {
        const long base = static_cast<long>(std::floor(t));
        double sum = 0, weights = 0;
        for (long i = base - reach_ + 1; i <= base + reach_; ++i) {
            const double w = weight(t - static_cast<double>(i));
            sum += w * source(i);
            weights += w;
        }
        return sum / weights;
    }

  private:
    double weight(double frames) const; // at `frames` from the centre
    double cutoff_;                     // fraction of the input's Nyquist frequency, 0..1
    long reach_;                        // input frames each way
};

// Output samples for `count` input frames: the input's span at the new rate,
// ceil(count * to_rate / from_rate).
std::size_t resampled_length(std::size_t count, std::uint32_t from_rate, std::uint32_t to_rate);

// `count` frames at `from_rate` Hz (owned by the caller) as resampled_length()
// samples at `to_rate` Hz; output sample j lies at input time j * from / to,
// silence is taken beyond both ends. The same rates give the input back.
std::vector<std::int16_t> resample(const std::int16_t *pcm, std::size_t count,
                                   std::uint32_t from_rate, std::uint32_t to_rate);

// `v` rounded and held within 16 bits.
std::int16_t to_pcm(double v);

} // namespace snesbrr
