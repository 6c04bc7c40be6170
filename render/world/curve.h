#pragma once
// Curves: short lists of keyed four-component values, evaluated at a time by
// linear or smooth interpolation between the two keys around it. A curve is a
// resource (CurveResource) whose block holds the keys; whoever makes a curve
// fills the block (BuildCurve), the curve code only reads it. A CurveSampler
// evaluates several curves at once and blends them by weight. Render thread.
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "kernel/math/float4.h"
#include "kernel/resource_object.h"

inline constexpr uint16_t kCurveFormatVersion = 0;

namespace curve_mode {
inline constexpr uint8_t kLinear = 2;
inline constexpr uint8_t kSmooth = 4; // (3 - 2f) f^2
} // namespace curve_mode

struct CurveData {
    std::vector<float4> keyValues; // 16-byte aligned, one per key
    uint32_t keyCount = 0;
    // Each key's time negated (a key at T holds -T), in increasing real time.
    std::vector<float> keyTimes;
    uint8_t mode = 0; // curve_mode; any other value makes the curve zero everywhere
};

class CurveResource : public ResourceObject<CurveResource, CurveData, kCurveFormatVersion> {
public:
    CurveResource() = default;
    // The keys go with the block; there is nothing else to release.
    bool DoUnload() override { return true; }
};

// Gives the handle a fresh block of its own holding the keys (times in real
// time, increasing), in state loaded. Keys beyond the shorter span are dropped.
void BuildCurve(CurveResource& curve, std::span<const float4> values, std::span<const float> times, uint8_t mode);

// The time of key i of a curve (its stored time negated).
inline float KeyTime(const CurveData& curve, uint32_t i) { return -curve.keyTimes[i]; }
// Keys that are really there: the count, bounded by both arrays.
uint32_t UsableKeyCount(const CurveData& curve);

// The curve's value at t. Between key k and key k + 1 for T(k) <= t < T(k + 1);
// before the first key, at or past the last, and for a single key, the
// nearest end key; (0, 0, 0, 0) for a curve with no keys or an unknown mode.
float4 EvaluateCurveAt(const CurveData& curve, float t);

// Evaluates curves by id and blends them. Owns neither the curves nor the
// outputs. Nothing derives from it.
class CurveSampler final {
public:
    CurveSampler() = default;
    ~CurveSampler() = default;

    // Every curve at t, blended in ascending id order: the first curve's value
    // as it is, each later one by acc + weight x (value - acc). The result goes
    // to every output. A handle without a block counts as zero.
    virtual void EvaluateCurve(float t);
    // The curve of that id gets w; every other curve's weight is scaled by 1 - w.
    virtual void SetCurveWeight(uint32_t id, float w);

    std::vector<float4*> outputs;
    std::map<uint32_t, CurveResource*> curves;
    std::map<uint32_t, float> weights; // a lookup of a new id enters 0.0
};
