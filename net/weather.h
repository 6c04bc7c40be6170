#pragma once
// The weather request: its 49-byte record (little-endian, packed) decoded into
// the values the scene takes, and the setWeather task handler that applies them
// to the RemoteScene on RENDERTHREAD.
#include <cstdint>
#include <string>

#include "kernel/math/float4.h"

struct RemoteScene;
struct TaskMessage;

// Outside units become scene units with this factor.
inline constexpr double kOutsideToScene = 0.00128;
// The fog multiplier the renderer starts with; at or below it fog affects
// transparency.
inline constexpr float kDefaultFogMultiplier = 5.275f;
// A further cloud effect is applied only above this cover.
inline constexpr float kCloudEffectThreshold = 0.1f;

struct alignas(16) WeatherValues {
    float cloudBottomHeight = 0.0f; // i16 at 3, x 0.00128
    float cloudCover = 0.0f;        // i16 at 7 (tenths), x 0.1
    float timeOfDayAngle = 0.0f;    // from hours (i16 at 13) and minutes (i16 at 15)
    uint8_t cloudsWanted = 0;       // u8 at 19: 1 on, 0 off, others ignored
    float fogMultiplier = 0.0f;     // 10000 / visibility (f32 at 20)
    bool fogAffectsAlpha = false;   // fogMultiplier <= 5.275
    float coverB = 0.0f;            // f32 at 24, first cloud effect
    float coverA = 0.0f;            // f32 at 28, second cloud effect
    float4 wind{};                  // speed (f32 at 36, x 0.00128) along direction (f32 at 40, radians)
    bool clearStatus = false;       // u8 at 44 is 1
    float starBrightness = 0.0f;    // f32 at 45
};

// `record` holds the 49 record bytes.
WeatherValues DecodeWeather(const uint8_t* record);
// Why the record cannot be applied (a float that is not a finite number), or
// empty when it can.
std::string CheckWeatherRecord(const uint8_t* record);

// The time-of-day angle of hours:minutes, with no range test.
float TimeOfDayAngle(int16_t hours, int16_t minutes);

// The setWeather handler: nothing while there is no RemoteScene; a record that
// cannot be applied is refused with a line on standard output and changes
// nothing; otherwise ApplyWeather.
void SetWeatherHandler(TaskMessage* task);
// The cloud layer's height and cover, the time of day and the sky, the fog
// multiplier the scene renderer draws with and the fog define of the fog
// materials, the cloud switch requests and effect covers, the wind, the status
// and the star brightness.
void ApplyWeather(RemoteScene& scene, const WeatherValues& values);
