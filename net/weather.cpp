#include "net/weather.h"

#include <cmath>
#include <iostream>

#include "kernel/task_message.h"
#include "net/para_tasks.h"
#include "net/remote_scene.h"
#include "platform/bytes/byte_reader.h"
#include "render/effects/effect.h"
#include "render/frame/scene_renderer.h"
#include "render/resources/material.h"
#include "render/world/cloud_layer.h"

float TimeOfDayAngle(int16_t hours, int16_t minutes)
{
    constexpr float kPerMinute = 1.0f / 60.0f;
    constexpr float kPerHour = 1.0f / 24.0f;
    return ((static_cast<float>(minutes) * kPerMinute + static_cast<float>(hours)) * kPerHour) * 6.723008f +
           3.3615043f;
}

WeatherValues DecodeWeather(const uint8_t* record)
{
    platform::ByteReader in(record, kWeatherRecordSize);
    WeatherValues v;
    v.cloudBottomHeight = static_cast<float>(in.I16At(3) * kOutsideToScene);
    v.cloudCover = static_cast<float>(in.I16At(7) * 0.1);
    v.timeOfDayAngle = TimeOfDayAngle(in.I16At(13), in.I16At(15));
    v.cloudsWanted = in.U8At(19);
    v.fogMultiplier = static_cast<float>((1.0 / in.F32At(20)) * 10000.0);
    v.fogAffectsAlpha = v.fogMultiplier <= kDefaultFogMultiplier;
    v.coverB = in.F32At(24);
    v.coverA = in.F32At(28);
    const float speed = static_cast<float>(in.F32At(36) * kOutsideToScene);
    const float direction = in.F32At(40);
    v.wind.SetXYZW(speed * std::cos(direction), 0.0f, speed * std::sin(direction), 0.0f);
    v.clearStatus = in.U8At(44) == 1;
    v.starBrightness = in.F32At(45);
    return v;
}

std::string CheckWeatherRecord(const uint8_t* record)
{
    platform::ByteReader in(record, kWeatherRecordSize);
    struct Field {
        size_t at;
        const char* name;
    };
    static const Field kFloats[] = {{20, "visibility"}, {24, "first cloud effect cover"},
                                    {28, "second cloud effect cover"}, {36, "wind speed"},
                                    {40, "wind direction"}, {45, "star brightness"}};
    // Only what arrives is checked: a visibility of 0 gives an infinite fog
    // multiplier, which is meant (the thickest fog).
    for (const Field& field : kFloats) {
        if (!std::isfinite(in.F32At(field.at)))
            return std::string(field.name) + " is not a finite number";
    }
    return {};
}

void SetWeatherHandler(TaskMessage* task)
{
    RemoteScene* scene = GetRemoteScene();
    if (!scene)
        return;
    const WeatherRecordBytes record = task->Get<SetWeatherArgs::Record>();
    const std::string problem = CheckWeatherRecord(record.data());
    if (!problem.empty()) {
        std::cout << "setWeather refused: " << problem << "\n";
        return;
    }
    ApplyWeather(*scene, DecodeWeather(record.data()));
}

void ApplyWeather(RemoteScene& sceneRef, const WeatherValues& v)
{
    RemoteScene* scene = &sceneRef;
    scene->cloudBottomHeight = v.cloudBottomHeight;
    SetCloudBottomHeight(scene->cloudLayer, v.cloudBottomHeight);
    SetCloudCover(scene->cloudLayer, v.cloudCover);
    scene->timeOfDayAngle = v.timeOfDayAngle;
    scene->sky.UpdateSky(0.0f);
    if (currentSceneRenderer)
        currentSceneRenderer->fogMult = v.fogMultiplier;

    if (currentSceneRenderer)
        currentSceneRenderer->fogMult = v.fogMultiplier;
    for (size_t i = 0; i < scene->fogMaterials.size(); ++i) {
        MaterialResource* material = scene->fogMaterials[i];
        if (Effect* effect = material ? material->GetEffect() : nullptr)
            effect->SetDefine("FOGAFFECTSALPHA", v.fogAffectsAlpha);
    }

    // Only requests: the scene's own update turns the layers on or off.
    if ((v.cloudsWanted == 1 && scene->cloudToggleB == 0) || (v.cloudsWanted == 0 && scene->cloudToggleB != 0))
        scene->cloudLayerShown[0] = 1;
    if (v.coverB > kCloudEffectThreshold) {
        if (scene->cloudToggleA == 0)
            scene->cloudLayerShown[1] = 1;
        if (scene->cloudEffectB)
            scene->cloudEffectB->SetFloat("percentToShow", v.coverB, "");
    } else if (scene->cloudToggleA != 0) {
        scene->cloudLayerShown[1] = 1;
    }
    if (v.coverA > kCloudEffectThreshold) {
        if (scene->cloudLayerShown[3] == 0)
            scene->cloudLayerShown[2] = 1;
        if (scene->cloudEffectA)
            scene->cloudEffectA->SetFloat("percentToShow", v.coverA, "");
    } else if (scene->cloudLayerShown[3] != 0) {
        scene->cloudLayerShown[2] = 1;
    }

    scene->windVector = v.wind;
    if (v.clearStatus)
        scene->statusFlag = 0;

    if (Effect* stars = scene->starMaterial ? scene->starMaterial->GetEffect() : nullptr)
        stars->SetFloat("starBright", v.starBrightness, "");
}
