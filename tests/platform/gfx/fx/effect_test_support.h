#pragma once
// Shared by the effect tests: the fixture folder, a file reader over it, a
// description compiled from source, and an effect made from source on a
// device of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace effect_test {

inline std::string FixtureDir() { return std::string(ZANDREL_SOURCE_DIR) + "/tests/platform/gfx/fx/fixtures/effects/"; }

inline bool ReadFile(const std::string& path, std::string& contents)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

inline std::string Fixture(const std::string& name)
{
    std::string text;
    ReadFile(FixtureDir() + name, text);
    return text;
}

inline gfx::EffectFileReader FileReader()
{
    return [](const std::string& path, size_t limit, std::string& contents) {
        if (!ReadFile(path, contents))
            return std::string("no such file");
        contents.resize(std::min(contents.size(), limit));
        return std::string();
    };
}

// `source` (named `name`) compiled to a description; a failure is reported.
inline gfx::EffectDescription Described(const std::string& source, const std::string& name = "s.fx",
                                        const std::vector<gfx::EffectMacro>& defines = {},
                                        const gfx::EffectFileReader& reader = {})
{
    gfx::EffectDescription d;
    std::string messages;
    EXPECT_TRUE(gfx::CompileEffectSource(source, name, defines, reader, d, messages)) << messages;
    return d;
}

// The messages compiling `source` (named s.fx) gives: a refusal's words.
inline std::string CompileMessages(const std::string& source)
{
    gfx::EffectDescription d;
    std::string messages;
    gfx::CompileEffectSource(source, "s.fx", {}, {}, d, messages);
    return messages;
}

// An effect compiled from `source` (named v.fx), set on a test device.
struct EffectOnDevice {
    explicit EffectOnDevice(const std::string& source)
    {
        std::string errors;
        EXPECT_EQ(gfx::kEffectOk, gfx::RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors, "v.fx"))
            << errors;
        if (effect)
            effect->SetDevice(test.device);
    }
    ~EffectOnDevice()
    {
        if (begun)
            effect->End();
    }
    // Begins the first technique and its pass `pass`; false (with the failure
    // reported) where it cannot.
    bool BeginPass(uint32_t pass = 0)
    {
        uint32_t passes = 0;
        begun = effect && effect->Begin(passes) == gfx::kEffectOk;
        const bool ok = begun && effect->BeginPass(pass) == gfx::kEffectOk;
        EXPECT_TRUE(ok) << "pass " << pass << " not begun";
        return ok;
    }
    uint32_t State(uint32_t renderState) const
    {
        uint32_t value = 0;
        test.device->GetRenderState(renderState, &value);
        return value;
    }
    float FloatState(uint32_t renderState) const { return std::bit_cast<float>(State(renderState)); }

    // Made first, so the effect is gone before its device.
    gfx_test::TestDevice test;
    std::unique_ptr<gfx::RuntimeEffect> effect;
    bool begun = false;
};

} // namespace effect_test
