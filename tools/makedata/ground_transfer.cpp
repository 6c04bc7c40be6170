#include "tools/makedata/ground_transfer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <thread>

#include "demo/sh_sampling.h"

namespace makedata {

namespace {

constexpr double kPi = std::numbers::pi;


// Where the ray meets the triangle (both sides count), or a negative distance.
float HitDistance(const Triangle& t, float3 origin, float3 direction)
{
    const float3 e1 = t.b - t.a;
    const float3 e2 = t.c - t.a;
    const float3 p = Cross(direction, e2);
    const float det = Dot(e1, p);
    if (std::fabs(det) < 1e-12f)
        return -1.0f;
    const float inv = 1.0f / det;
    const float3 s = origin - t.a;
    const float u = Dot(s, p) * inv;
    if (u < 0.0f || u > 1.0f)
        return -1.0f;
    const float3 q = Cross(s, e1);
    const float v = Dot(direction, q) * inv;
    if (v < 0.0f || u + v > 1.0f)
        return -1.0f;
    return Dot(e2, q) * inv;
}

bool MeetsSphere(const Sphere& sphere, float3 origin, float3 direction)
{
    const float3 to = sphere.centre - origin;
    const float along = Dot(to, direction);
    const float r2 = sphere.radius * sphere.radius;
    const float d2 = Dot(to, to);
    if (along < 0.0f && d2 > r2)
        return false;
    return d2 - along * along <= r2;
}

// A well-mixed 32-bit value of two counters, so every texel's jitter is its
// own whichever thread bakes it.
uint32_t Mix(uint32_t a, uint32_t b)
{
    uint64_t x = (uint64_t(a) << 32 | b) + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((x ^ (x >> 31)) >> 8);
}

double Unit(uint32_t bits) { return double(bits & 0xffffff) / double(0x1000000); }

} // namespace

void BasisAngles(float3 direction, double& theta, double& phi)
{
    theta = std::acos(std::clamp(double(direction.y), -1.0, 1.0));
    phi = std::atan2(double(direction.z), double(direction.x));
    if (phi < 0.0)
        phi += 2.0 * kPi;
}

bool Blocked(const std::vector<Occluder>& occluders, float3 origin, float3 direction)
{
    for (const Occluder& occluder : occluders) {
        if (!MeetsSphere(occluder.bounds, origin, direction))
            continue;
        for (const Triangle& triangle : occluder.triangles)
            if (HitDistance(triangle, origin, direction) > 1e-4f)
                return true;
    }
    return false;
}

namespace {

// One ray of a jittered set: its direction and the basis values along it.
struct TransferRay {
    float3 direction;
    double basis[kTransferTerms];
};

// Cosine-weighted, stratified rays about +y, jittered by the seed.
std::vector<TransferRay> RaySet(uint32_t raysPerSide, uint32_t seed)
{
    std::vector<TransferRay> rays;
    rays.reserve(size_t(raysPerSide) * raysPerSide);
    for (uint32_t a = 0; a < raysPerSide; ++a) {
        for (uint32_t b = 0; b < raysPerSide; ++b) {
            const uint32_t jitter = Mix(seed, a * raysPerSide + b);
            const double u1 = (a + Unit(jitter)) / raysPerSide;
            const double u2 = (b + Unit(Mix(jitter, 1))) / raysPerSide;
            const double r = std::sqrt(u1);
            const double turn = 2.0 * kPi * u2;
            TransferRay ray;
            ray.direction = {float(r * std::cos(turn)), float(std::sqrt(1.0 - u1)), float(r * std::sin(turn))};
            double theta = 0.0, phi = 0.0;
            BasisAngles(ray.direction, theta, phi);
            ray.basis[0] = SHBasis(0, 0, theta, phi);
            ray.basis[1] = SHBasis(1, -1, theta, phi);
            ray.basis[2] = SHBasis(1, 0, theta, phi);
            ray.basis[3] = SHBasis(1, 1, theta, phi);
            rays.push_back(ray);
        }
    }
    return rays;
}

// Neighbouring texels take different sets, so the sampling error is noise
// rather than a pattern.
constexpr uint32_t kRaySets = 16;

void TransferOver(const std::vector<Occluder>& occluders, float3 point, const std::vector<TransferRay>& rays,
                  double out[kTransferTerms])
{
    const float3 origin = {point.x, point.y + 1e-3f, point.z};
    double sums[kTransferTerms] = {};
    for (const TransferRay& ray : rays) {
        if (Blocked(occluders, origin, ray.direction))
            continue;
        for (int i = 0; i < kTransferTerms; ++i)
            sums[i] += ray.basis[i];
    }
    for (int i = 0; i < kTransferTerms; ++i)
        out[i] = rays.empty() ? 0.0 : sums[i] / double(rays.size());
}

} // namespace

void TransferAt(const std::vector<Occluder>& occluders, float3 point, uint32_t raysPerSide,
                double out[kTransferTerms])
{
    const uint32_t seed = Mix(std::bit_cast<uint32_t>(point.x), std::bit_cast<uint32_t>(point.z));
    TransferOver(occluders, point, RaySet(raysPerSide, seed), out);
}

uint8_t EncodeTransferPart(double part)
{
    const double scaled = std::clamp(part * kTransferScale, 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(scaled * 255.0));
}

double DecodeTransfer(uint8_t positive, uint8_t negative)
{
    return (double(positive) - double(negative)) / (255.0 * kTransferScale);
}

TransferTextures BakeGroundTransfer(const std::vector<Occluder>& occluders, float3 low, float3 high,
                                    uint32_t size, uint32_t raysPerSide)
{
    TransferTextures textures{BlankImage(size, size), BlankImage(size, size)};
    std::vector<std::vector<TransferRay>> sets;
    for (uint32_t k = 0; k < kRaySets; ++k)
        sets.push_back(RaySet(raysPerSide, k));
    auto bakeRows = [&](uint32_t firstRow, uint32_t step) {
        for (uint32_t j = firstRow; j < size; j += step) {
            for (uint32_t i = 0; i < size; ++i) {
                const float u = (float(i) + 0.5f) / float(size);
                const float v = (float(j) + 0.5f) / float(size);
                const float3 point = {low.x + u * (high.x - low.x), high.y, high.z - v * (high.z - low.z)};
                double terms[kTransferTerms];
                TransferOver(occluders, point, sets[Mix(i, j) % kRaySets], terms);
                uint8_t* positive = textures.positive.Texel(i, j);
                uint8_t* negative = textures.negative.Texel(i, j);
                // B, G, R, A bytes hold T_2, T_1, T_0, T_3.
                static constexpr int kByteOf[kTransferTerms] = {2, 1, 0, 3};
                for (int t = 0; t < kTransferTerms; ++t) {
                    positive[kByteOf[t]] = EncodeTransferPart(terms[t]);
                    negative[kByteOf[t]] = EncodeTransferPart(-terms[t]);
                }
            }
        }
    };
    const uint32_t threads = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
    std::vector<std::thread> workers;
    for (uint32_t t = 1; t < threads; ++t)
        workers.emplace_back(bakeRows, t, threads);
    bakeRows(0, threads);
    for (std::thread& worker : workers)
        worker.join();
    return textures;
}

} // namespace makedata
