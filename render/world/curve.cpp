#include "render/world/curve.h"

#include <immintrin.h>

#include <algorithm>

#include "kernel/global_objects.h"

namespace {
[[maybe_unused]] CurveResource* const curveType = RegisterGlobalObject(new CurveResource);

// a + s x (b - a), all four lanes at once.
float4 Blend(const float4& a, const float4& b, float s)
{
    const __m128 lo = _mm_load_ps(&a.x);
    const __m128 hi = _mm_load_ps(&b.x);
    float4 out;
    _mm_store_ps(&out.x, _mm_add_ps(lo, _mm_mul_ps(_mm_set1_ps(s), _mm_sub_ps(hi, lo))));
    return out;
}
} // namespace

void BuildCurve(CurveResource& curve, std::span<const float4> values, std::span<const float> times, uint8_t mode)
{
    if (curve.GetBlock())
        curve.ReleaseResource();
    curve.CreateUnique();
    CurveData* data = curve.GetPayload();
    if (!data)
        return;
    const size_t n = std::min(values.size(), times.size());
    data->keyValues.assign(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n));
    data->keyTimes.resize(n);
    for (size_t i = 0; i < n; ++i)
        data->keyTimes[i] = -times[i];
    data->keyCount = static_cast<uint32_t>(n);
    data->mode = mode;
    curve.SetState(resource_state::kLoaded);
}

uint32_t UsableKeyCount(const CurveData& curve)
{
    const size_t held = std::min(curve.keyValues.size(), curve.keyTimes.size());
    return static_cast<uint32_t>(std::min<size_t>(curve.keyCount, held));
}

float4 EvaluateCurveAt(const CurveData& curve, float t)
{
    const uint32_t n = UsableKeyCount(curve);
    if (n == 0 || (curve.mode != curve_mode::kLinear && curve.mode != curve_mode::kSmooth))
        return {};
    uint32_t lo = 0, hi = 0;
    float t0 = 0.0f, t1 = 0.0f;
    for (uint32_t i = 0; i < n; ++i) {
        const float ti = KeyTime(curve, i);
        if (!(ti <= t)) // NaN stops too
            break;
        lo = i;
        t0 = ti;
        if (i + 1 < n) {
            hi = i + 1;
            t1 = KeyTime(curve, i + 1);
        }
    }
    // No span around t (before the first key, at or past the last, a single
    // key): dividing by its zero length would give no number, so the nearest
    // end key stands.
    if (lo == hi || t1 == t0)
        return curve.keyValues[lo];
    const float f = (t - t0) / (t1 - t0);
    const float s = curve.mode == curve_mode::kSmooth ? (3.0f - 2.0f * f) * f * f : f;
    return Blend(curve.keyValues[lo], curve.keyValues[hi], s);
}

void CurveSampler::EvaluateCurve(float t)
{
    float4 acc;
    bool first = true;
    for (const auto& [id, curve] : curves) {
        const CurveData* data = curve ? curve->GetPayload() : nullptr;
        const float4 value = data ? EvaluateCurveAt(*data, t) : float4{};
        if (first) {
            acc = value;
            first = false;
        } else {
            acc = Blend(acc, value, weights[id]);
        }
    }
    for (float4* output : outputs)
        if (output)
            *output = acc;
}

void CurveSampler::SetCurveWeight(uint32_t id, float w)
{
    for (const auto& entry : curves) {
        float& weight = weights[entry.first];
        if (entry.first == id)
            weight = w;
        else
            weight = weight - weight * w;
    }
}
