#include "render/effects/effect.h"

#include <iostream>

#include "kernel/archive.h"
#include "kernel/error_stream.h"
#include "kernel/file_system.h"
#include "kernel/memory_archive.h"
#include "kernel/platform.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "platform/os/process.h"
#include "render/device/render_device.h"

const uint8_t* frameRendererHdr = nullptr;

namespace {

// The type's handle on the global object list, so the release at exit gives
// the block pool's free memory back.
[[maybe_unused]] Effect* const effectType = RegisterGlobalObject(new Effect);

// Drops what the slot holds; the last holder of an effect object frees it
// through the render device's accounting.
void ReleaseEffectObject(EffectObject& slot) { slot.reset(); }

bool RendererWantsHdr() { return frameRendererHdr && *frameRendererHdr != 0; }

// The second line of the box when a signal ended the compiler; "" when it
// ended on its own, its messages being on its console output, or could not be
// started, which was said already.
std::string CompilerFailure(const ProcessRun& run)
{
    if (run.outcome == ProcessOutcome::kEnded && run.signal != 0)
        return "The effect compiler was ended by " + platform::os::SignalText(run.signal) + " and wrote nothing.\n";
    return {};
}

// A map from string to values written as raw bytes (define flags, vectors,
// floats): a u32 count, then per entry the key (String) and the value's bytes.
template <class Value, class Store>
void SerializeMap(Archive& archive, std::map<std::string, Value>& map, Store store)
{
    uint32_t count = static_cast<uint32_t>(map.size());
    archive.U32(count);
    if (archive.IsWriting()) {
        for (auto& [key, value] : map) {
            std::string name = key;
            archive.String(name);
            store(archive, value);
        }
        return;
    }
    auto* memory = dynamic_cast<MemoryArchive*>(&archive);
    for (uint32_t i = 0; i < count; ++i) {
        // A damaged count must not spin through billions of empty entries.
        if (memory && memory->Damaged())
            return;
        std::string name;
        archive.String(name);
        Value value{};
        store(archive, value);
        if (memory && memory->Damaged())
            return;
        map[name] = value;
    }
}

} // namespace

// ---- Cache and variants ----

std::string Effect::CompilerSourceName(const std::string& name)
{
    EffectData* data = GetPayload();
    if (data && data->sourceName.length > 0 && EffectBaseName(data->sourceName.View()) == name)
        return std::string(data->sourceName.View());
    return name + ".fx";
}

bool Effect::LoadCompiledShader(const std::string& name, EffectObject& out, const std::string* defines,
                                const std::string* extension)
{
    const std::string path = CompiledEffectPath(name, extension ? *extension : std::string(".fx"));
    FileSystem* files = GetFileSystem();
    if (!files->FileExists(path)) {
        std::cout << "Compiling shader " << name << "..." << std::endl;
        const std::string defineText = defines ? *defines : std::string();
        const std::string source = CompilerSourceName(name);
        Platform* platform = GetPlatform();
        ProcessRun run;
        // Names come from data files: one that would reshape the command line
        // is never handed to the compiler.
        if (platform && FitsEffectCommandLine(source) && FitsEffectCommandLine(defineText)) {
            const std::string parameters =
                EffectCompilerParameters(platform->GetCurrentDir(), path, defineText, source);
            run = platform->RunProcess(kEffectCompilerPath, parameters);
        }
        if (!files->FileExists(path)) {
            // A compiler ended because the program is closing has said so; the
            // close is not held up by a box.
            if (run.outcome == ProcessOutcome::kStopped)
                return false;
            const std::string cause = CompilerFailure(run);
            errorTwoLines = !cause.empty();
            GetErrorStream() << "Failed to load compiled shader " << path << "\n";
            if (!cause.empty())
                GetErrorStream() << cause;
            return false;
        }
    }
    bool created = false;
    FileBuffer buffer;
    if (files->LoadFile(buffer, path, 0, 0))
        created = LoadShader(buffer, out, nullptr);
    files->ReleaseFile(buffer);
    // A compiled file that exists but makes no effect is a failure, so the
    // caller compiles the source instead.
    return created;
}

void Effect::SetDefine(const std::string& name, bool value)
{
    defineFlags[name] = value;
    BuildVariantKey();
}

std::string Effect::BuildVariantKey()
{
    std::string key = EffectVariantKey(defineFlags);
    wantedVariant = EffectVariantId(key);
    return key;
}

void Effect::CompileVariant(const std::string& name, FileBuffer& source)
{
    EffectData* data = GetPayload();
    if (!data)
        return;
    if (data->variants.empty()) {
        data->variants[0] = data->current;
        data->currentVariant = 0;
    }
    if (RendererWantsHdr())
        SetDefine("USE_HDR", true);
    if (defineFlags.empty())
        return;

    const std::string key = BuildVariantKey();
    const std::string defineText = EffectDefineText(defineFlags);
    const uint32_t id = EffectVariantId(key);
    EffectObject& slot = data->variants[id];
    ReleaseEffectObject(slot); // a variant loaded again replaces the old one
    const std::string extension = EffectVariantExtension(id);
    if (LoadCompiledShader(name, slot, &defineText, &extension)) {
        data->currentVariant = id;
        data->current = slot;
        return;
    }

    std::cout << "Unable to load compiled shader - compiling to RAM...\n";
    const std::vector<std::string> names = EnabledDefineNames(defineFlags);
    FileSystem* files = GetFileSystem();
    FileBuffer loaded;
    FileBuffer* text = &source;
    // Nothing to compile from (a variant switched to while drawing): read the source.
    if (!source.data || source.size == 0) {
        files->LoadFile(loaded, CompilerSourceName(name), 0, 0);
        text = &loaded;
    }
    LoadShader(*text, slot, &names);
    files->ReleaseFile(loaded);
    data->currentVariant = id;
    data->current = slot;
}

void Effect::LoadEffectVariant()
{
    EffectData* data = GetPayload();
    if (!data)
        return;
    const std::string key = BuildVariantKey();
    data->currentVariant = wantedVariant;
    data->current = data->variants[wantedVariant];
    if (data->current)
        return;
    std::cout << "Changed shader variant on " << key
              << ", but there is no such shader loaded - getting...\n";
    FileBuffer empty;
    CompileVariant(EffectBaseName(data->sourceName.View()), empty);
}

void Effect::DoLoad(const std::string& fileName)
{
    EffectData* data = GetPayload();
    if (!data)
        return;
    data->sourceName.Assign(fileName);
    FileBuffer source;
    const std::string base = EffectBaseName(fileName);
    FileSystem* files = GetFileSystem();
    if (!LoadCompiledShader(base, data->current)) {
        files->LoadFile(source, fileName, 0, 0);
        LoadShader(source, data->current, nullptr);
    }
    CompileVariant(base, source);
    SetState(resource_state::kLoaded);
    files->ReleaseFile(source);
}

bool Effect::DoUnload()
{
    EffectData* data = GetPayload();
    if (!data)
        return true;
    ReleaseEffectObject(data->current);
    for (auto& [id, effect] : data->variants)
        ReleaseEffectObject(effect);
    data->variants.clear();
    return true;
}

gfx::RuntimeEffect* Effect::CurrentEffect()
{
    EffectData* data = GetPayload();
    return data ? data->current.get() : nullptr;
}

// ---- Parameters ----

void Effect::SetFloat(const std::string& name, float value, const std::string& group)
{
    params.SetFloat(name, value, group);
}
void Effect::SetVector(const std::string& name, const float4* value, const std::string& group)
{
    params.SetVector(name, value, group);
}
void Effect::SetVectorArray(const std::string& name, const float4* array, uint32_t count, const std::string& group)
{
    params.SetVectorArray(name, array, count, group);
}
void Effect::SetTexture(const std::string& name, TextureResource* handle, const std::string& group)
{
    params.SetTexture(name, handle, group);
}
void Effect::SetMatrix(const std::string& name, const float4x4* matrix, const std::string& group)
{
    params.SetMatrix(name, matrix, group);
}
void Effect::SetMatrixArray(const std::string& name, const float4x4* matrices, uint32_t count,
                            const std::string& group)
{
    params.SetMatrixArray(name, matrices, count, group);
}
void Effect::SetAutoMatrix(const std::string& name, uint32_t code, const std::string& group)
{
    params.SetAutoMatrix(name, code, group);
}
float* Effect::GetFloatParam(const std::string& name, const std::string& group)
{
    return params.GetFloatParam(name, group);
}

void Effect::Serialize(Archive& archive)
{
    if (formatVersion > 1) {
        SerializeMap(archive, defineFlags, [](Archive& a, bool& value) {
            uint8_t byte = value ? 1 : 0;
            a.Bytes(&byte, 1);
            value = byte != 0;
        });
        BuildVariantKey();
    }
    HashedName128 sourceName;
    if (EffectData* data = GetPayload())
        sourceName = data->sourceName;
    archive.Name(sourceName);
    if (archive.IsReading()) {
        LoadByName(std::string(sourceName.View()));
    }

    EffectParamGroup& common = params.Group("");
    uint32_t count = static_cast<uint32_t>(common.autoMatrices.size());
    archive.U32(count);
    if (archive.IsWriting()) {
        for (AutoMatrixParam& param : common.autoMatrices) {
            archive.String(param.name);
            archive.U32(param.code);
        }
    } else {
        auto* memory = dynamic_cast<MemoryArchive*>(&archive);
        for (uint32_t i = 0; i < count && !(memory && memory->Damaged()); ++i) {
            AutoMatrixParam param;
            archive.String(param.name);
            archive.U32(param.code);
            if (memory && memory->Damaged())
                break;
            common.autoMatrices.push_back(param);
        }
    }
    SerializeMap(archive, common.vectors, [](Archive& a, float4& value) { a.Bytes(&value, sizeof(float) * 4); });
    SerializeMap(archive, common.floats, [](Archive& a, float& value) { a.Bytes(&value, sizeof(float)); });
}

void Effect::CopyPayloadTo(EffectResource& target)
{
    auto* other = dynamic_cast<Effect*>(&target);
    EffectData* data = GetPayload();
    if (!other || !data || !other->GetPayload())
        return;
    other->DoLoad(std::string(data->sourceName.View()));
    if (other != this) {
        other->params = params;
        other->defineFlags = defineFlags;
    }
    other->wantedVariant = wantedVariant;
}

// ---- Creation from memory ----

bool LoadShader(const FileBuffer& buffer, EffectObject& out, const std::vector<std::string>* defines)
{
    RenderDevice* renderer = GetRenderer();
    int32_t result = 0;
    bool made = false;
    // The effect's memory counts whatever the outcome.
    renderer->Memory().AccountVideoMemory(VideoMemoryKind::Effect, [&] {
        made = CreateEffectFromMemory(buffer.data, buffer.size, std::string(buffer.name.View()), defines,
                                      renderer->Device(), out, result);
        return true;
    });
    renderer->KeepResult(result);
    renderer->ClearCompileErrors();
    return made;
}
