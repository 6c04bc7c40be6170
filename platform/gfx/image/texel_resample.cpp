#include "platform/gfx/image/texel_resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gfx/device/format.h"
#include "platform/gfx/image/texel_channels.h"

namespace gfx {

namespace {

struct Tap {
    uint32_t at = 0; // source texel
    double weight = 0.0;
};

// For every target texel along one dimension, the source texels it reads and
// their weights (which add up to 1).
struct Taps {
    std::vector<uint32_t> begin; // target texel i reads taps[begin[i]] .. taps[begin[i + 1]]
    std::vector<Tap> taps;

    const Tap* First(uint32_t i) const { return taps.data() + begin[i]; }
    const Tap* Last(uint32_t i) const { return taps.data() + begin[i + 1]; }
};

Taps MakeTaps(uint32_t source, uint32_t target, ResampleFilter filter)
{
    Taps out;
    out.begin.reserve(size_t(target) + 1);
    for (uint32_t i = 0; i < target; ++i) {
        out.begin.push_back(uint32_t(out.taps.size()));
        switch (filter) {
        case ResampleFilter::Nearest:
            out.taps.push_back({uint32_t(uint64_t(i) * source / target), 1.0});
            break;
        case ResampleFilter::Linear: {
            // The target texel's centre in source texels, between the two it falls between.
            const double centre =
                std::clamp((i + 0.5) * double(source) / double(target) - 0.5, 0.0, double(source - 1));
            const uint32_t first = uint32_t(centre);
            const double weight = centre - first;
            out.taps.push_back({first, 1.0 - weight});
            if (weight > 0.0)
                out.taps.push_back({std::min(first + 1, source - 1), weight});
            break;
        }
        case ResampleFilter::Box: {
            // In units of 1/target of a source texel the target texel spans
            // [i * source, (i + 1) * source), and source texel j [j * target, (j + 1) * target):
            // the overlaps are whole numbers, so the weights are exact.
            const uint64_t low = uint64_t(i) * source, high = low + source;
            for (uint64_t j = low / target; j * target < high; ++j) {
                const uint64_t overlap = std::min(high, (j + 1) * target) - std::max(low, j * target);
                out.taps.push_back({uint32_t(j), double(overlap) / double(source)});
            }
            break;
        }
        }
    }
    out.begin.push_back(uint32_t(out.taps.size()));
    return out;
}

void NearestCopy(uint32_t bytes, const TexelRegion& from, const TexelRegion& to)
{
    const Taps xs = MakeTaps(from.width, to.width, ResampleFilter::Nearest);
    const Taps ys = MakeTaps(from.height, to.height, ResampleFilter::Nearest);
    const Taps zs = MakeTaps(from.depth, to.depth, ResampleFilter::Nearest);
    for (uint32_t z = 0; z < to.depth; ++z) {
        for (uint32_t y = 0; y < to.height; ++y) {
            const uint8_t* row = from.bits + from.slicePitch * zs.First(z)->at + size_t(ys.First(y)->at) * from.rowPitch;
            uint8_t* out = to.bits + to.slicePitch * z + size_t(y) * to.rowPitch;
            if (from.width == to.width) {
                std::memcpy(out, row, size_t(to.width) * bytes);
                continue;
            }
            for (uint32_t x = 0; x < to.width; ++x, out += bytes)
                std::memcpy(out, row + size_t(xs.First(x)->at) * bytes, bytes);
        }
    }
}

// A level's own case: every side halves exactly (or stays at 1), so each
// target texel is the plain mean of 2, 4 or 8 texels.
bool HalvesExactly(uint32_t from, uint32_t to) { return from == to || from == 2 * to; }

void Halve(const TexelChannels& layout, const TexelRegion& from, const TexelRegion& to)
{
    const uint32_t fx = from.width / to.width, fy = from.height / to.height, fz = from.depth / to.depth;
    const uint32_t channels = layout.count;
    const double scale = 1.0 / double(fx * fy * fz);
    if (layout.wholeBytes) {
        // Bytes: a whole-number mean, rounded half up as the general road rounds.
        const uint32_t shift = (fx / 2) + (fy / 2) + (fz / 2), half = (1u << shift) >> 1;
        const uint32_t bytes = layout.bytes;
        for (uint32_t z = 0; z < to.depth; ++z) {
            for (uint32_t y = 0; y < to.height; ++y) {
                uint8_t* out = to.bits + to.slicePitch * z + size_t(y) * to.rowPitch;
                const uint8_t* rows[4];
                uint32_t count = 0;
                for (uint32_t k = 0; k < fz; ++k)
                    for (uint32_t j = 0; j < fy; ++j)
                        rows[count++] = from.bits + from.slicePitch * (z * fz + k) + size_t(y * fy + j) * from.rowPitch;
                for (uint32_t x = 0; x < to.width; ++x) {
                    for (uint32_t c = 0; c < bytes; ++c) {
                        uint32_t sum = half;
                        for (uint32_t r = 0; r < count; ++r) {
                            sum += rows[r][(size_t(x) * fx) * bytes + c];
                            if (fx == 2)
                                sum += rows[r][(size_t(x) * fx + 1) * bytes + c];
                        }
                        out[size_t(x) * bytes + c] = uint8_t(sum >> shift);
                    }
                }
            }
        }
        return;
    }
    std::vector<float> source(size_t(from.width) * channels);
    std::vector<double> sum(size_t(to.width) * channels);
    for (uint32_t z = 0; z < to.depth; ++z) {
        for (uint32_t y = 0; y < to.height; ++y) {
            std::fill(sum.begin(), sum.end(), 0.0);
            for (uint32_t k = 0; k < fz; ++k) {
                for (uint32_t j = 0; j < fy; ++j) {
                    ReadChannels(layout, from.bits + from.slicePitch * (z * fz + k) + size_t(y * fy + j) * from.rowPitch,
                                 from.width, source.data());
                    const float* in = source.data();
                    double* out = sum.data();
                    for (uint32_t x = 0; x < to.width; ++x, out += channels, in += fx * channels)
                        for (uint32_t c = 0; c < channels; ++c)
                            out[c] += fx == 2 ? double(in[c]) + double(in[channels + c]) : double(in[c]);
                }
            }
            for (double& value : sum)
                value *= scale;
            WriteChannels(layout, sum.data(), to.width, to.bits + to.slicePitch * z + size_t(y) * to.rowPitch);
        }
    }
}

} // namespace

bool ResampleTexels(uint32_t format, const TexelRegion& from, const TexelRegion& to, ResampleFilter filter)
{
    if (IsBlockCompressed(format) || BytesPerTexel(format) == 0 || from.width == 0 || from.height == 0 ||
        from.depth == 0)
        return false;
    if (filter == ResampleFilter::Nearest) {
        NearestCopy(BytesPerTexel(format), from, to);
        return true;
    }
    TexelChannels layout;
    if (!ChannelsOf(format, layout))
        return false;
    if (filter == ResampleFilter::Box && HalvesExactly(from.width, to.width) &&
        HalvesExactly(from.height, to.height) && HalvesExactly(from.depth, to.depth)) {
        Halve(layout, from, to);
        return true;
    }
    const uint32_t channels = layout.count;
    const Taps xs = MakeTaps(from.width, to.width, filter);
    const Taps ys = MakeTaps(from.height, to.height, filter);
    const Taps zs = MakeTaps(from.depth, to.depth, filter);
    const bool sameWidth = from.width == to.width;

    // Sums in double: 16-bit and float channels keep their last bit through
    // many taps.
    std::vector<float> source(size_t(from.width) * channels);
    std::vector<double> across(size_t(to.width) * channels);
    std::vector<double> sum(size_t(to.width) * channels);
    for (uint32_t z = 0; z < to.depth; ++z) {
        for (uint32_t y = 0; y < to.height; ++y) {
            std::fill(sum.begin(), sum.end(), 0.0);
            // Each source row the target row reads, filtered across, then weighed
            // by its row's and slice's weights.
            for (const Tap* slice = zs.First(z); slice != zs.Last(z); ++slice) {
                for (const Tap* row = ys.First(y); row != ys.Last(y); ++row) {
                    ReadChannels(layout, from.bits + from.slicePitch * slice->at + size_t(row->at) * from.rowPitch,
                                 from.width, source.data());
                    if (sameWidth) {
                        std::copy(source.begin(), source.end(), across.begin());
                    } else {
                        double* out = across.data();
                        for (uint32_t x = 0; x < to.width; ++x, out += channels) {
                            for (uint32_t c = 0; c < channels; ++c)
                                out[c] = 0.0;
                            for (const Tap* tap = xs.First(x); tap != xs.Last(x); ++tap) {
                                const float* in = source.data() + size_t(tap->at) * channels;
                                for (uint32_t c = 0; c < channels; ++c)
                                    out[c] += tap->weight * in[c];
                            }
                        }
                    }
                    const double weight = slice->weight * row->weight;
                    for (size_t i = 0; i < sum.size(); ++i)
                        sum[i] += weight * across[i];
                }
            }
            WriteChannels(layout, sum.data(), to.width, to.bits + to.slicePitch * z + size_t(y) * to.rowPitch);
        }
    }
    return true;
}

} // namespace gfx
