#pragma once
// Effect: the engine's handle to an effect file (".fx"). Handles of one name
// share an EffectData block with the compiled effect of the current variant.
// The compiled-effect cache under "/compiledshaders/" holds one compiled file
// per source and define set; a missing one is made by running the effect
// compiler "/tools/fxc.exe", and when it still cannot be had the source is
// compiled in memory ("Unable to load compiled shader - compiling to RAM...").
// Define variants are selected by named boolean defines; the parameter store
// (EffectParams) holds what the effect is drawn with.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kernel/file_buffer.h"
#include "kernel/hashed_name.h"
#include "kernel/resource_types.h"
#include "render/effects/effect_from_memory.h"
#include "render/effects/effect_names.h"
#include "render/effects/effect_params.h"

struct EffectData {
    EffectObject current;          // the current variant's effect; null when none is loaded
    uint32_t currentVariant = 0;   // 0 is the base effect
    std::map<uint32_t, EffectObject> variants; // null: asked for, not loaded
    HashedName128 sourceName;      // the file name DoLoad received
};

class Effect;
using EffectResource = ResourceObject<Effect, EffectData, kEffectFormatVersion>;

class Effect : public EffectResource {
public:
    Effect() = default;

    // ---- The compiled-effect cache and variants ----

    // name is the base name; defines the define text (none: empty); extension
    // what goes between the base name and "o" (none: ".fx"). Runs the compiler
    // when the compiled file is missing. True when the effect was made into out.
    bool LoadCompiledShader(const std::string& name, EffectObject& out, const std::string* defines = nullptr,
                            const std::string* extension = nullptr);
    // Nothing is compiled here; the wanted variant id follows the flags.
    void SetDefine(const std::string& name, bool value);
    // The variant key of the enabled defines; sets the wanted variant id.
    std::string BuildVariantKey();
    // Makes the variant of the current define flags current: from the cache,
    // through the compiler, or compiled from source in memory.
    void CompileVariant(const std::string& name, FileBuffer& source);
    // Makes the wanted variant of the current define flags current, compiling
    // it when it has no effect yet ("Changed shader variant on ..."). The
    // renderer calls it when a draw finds the wanted variant not compiled.
    void LoadEffectVariant();

    void DoLoad(const std::string& fileName) override;
    // Releases every variant's effect. The block may go back to its pool.
    bool DoUnload() override;

    // ---- Parameters and storage ----

    void SetFloat(const std::string& name, float value, const std::string& group = "");
    void SetVector(const std::string& name, const float4* value, const std::string& group = "");
    void SetVectorArray(const std::string& name, const float4* array, uint32_t count, const std::string& group = "");
    void SetTexture(const std::string& name, TextureResource* handle, const std::string& group = "");
    void SetMatrix(const std::string& name, const float4x4* matrix, const std::string& group = "");
    void SetMatrixArray(const std::string& name, const float4x4* matrices, uint32_t count,
                        const std::string& group = "");
    void SetAutoMatrix(const std::string& name, uint32_t code, const std::string& group = "");
    float* GetFloatParam(const std::string& name, const std::string& group = "");

    // The source name, automatic matrices, vectors and floats of the group ""
    // (the define flags too from format version 2). Reading loads the effect.
    void Serialize(Archive& archive) override;
    // The target loads the same effect file and takes this one's parameters,
    // define flags and wanted variant.
    void CopyPayloadTo(EffectResource& target) override;

    // The current variant's effect object, or null.
    gfx::RuntimeEffect* CurrentEffect();

    uint32_t passCount = 0;    // passes of the technique drawn, written when drawing begins
    int8_t currentPass = -1;   // -1: no pass of this effect begun
    EffectParams params;
    EffectDefineFlags defineFlags;
    uint32_t wantedVariant = 0;

private:
    // What the compiler is given as the source for `name`.
    std::string CompilerSourceName(const std::string& name);
};

// The HDR flag of the last frame renderer built, which CompileVariant reads:
// set means every effect gets the define USE_HDR. Null until a frame renderer
// exists: effects then load without it.
extern const uint8_t* frameRendererHdr;

// Creates an effect from the bytes of a loaded file (compiled or source; with
// defines, each defined as a single line feed) into out, with the render
// device's accounting and reports. True when the effect was made.
bool LoadShader(const FileBuffer& buffer, EffectObject& out, const std::vector<std::string>* defines);
