#pragma once
// gfx::RuntimeEffect: a compiled effect with its parameter values, its techniques and the
// begin/pass cycle that hands the values to the device. Created from the bytes of a
// compiled effect or of an effect source (compiled in memory with defines).
// Parameters and techniques are addressed by name; a name the effect lacks changes
// nothing and answers kEffectNotFound. At BeginPass the effect sets the pass's
// states on its device (pass_states.h), as the platform's effect system does
// for an effect begun without saving the device's states: they stay set after
// the pass. At BeginPass and CommitChanges it snapshots every parameter into
// its EffectBinding and hands it to its device (Device::BindEffect) and to the
// bind hook, if any; CommitChanges also sets again the states that follow
// parameters whose values changed. EndPass hands over null.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/gfx/device/effect_binding.h"
#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"
#include "platform/gfx/fx/runtime/effect_result.h"
#include "platform/gfx/fx/syntax/name_table.h"
#include "platform/gfx/fx/runtime/pass_states.h"
#include "platform/gfx/fx/parser/struct_layouts.h"

namespace gfx {

class BaseTexture;
class Device;

class RuntimeEffect {
public:
    // Receives the binding at BeginPass/CommitChanges, null at EndPass/End and when
    // a bound effect is destroyed.
    using BindHook = std::function<void(const EffectBinding*)>;

    // Creates an effect from compiled bytes, or compiles source bytes with
    // `defines` (a definition may be empty or a line feed: the name is defined) and
    // #include files read through `reader` (none: every #include fails).
    // Compiled bytes carry the defines they were compiled with; `defines` and
    // `reader` serve sources only. `sourceName` names the source in messages.
    // On failure `out` stays empty and `errors` holds the messages, or "" when the
    // bytes are empty; kEffectAborted when a source was not compiled because the
    // program is closing.
    static EffectResult Create(const void* data, size_t size, const std::vector<EffectMacro>& defines,
                               std::unique_ptr<RuntimeEffect>& out, std::string& errors,
                               const std::string& sourceName = "memory",
                               const EffectFileReader& reader = {});

    explicit RuntimeEffect(EffectDescription description);
    ~RuntimeEffect();
    RuntimeEffect(const RuntimeEffect&) = delete;
    RuntimeEffect& operator=(const RuntimeEffect&) = delete;

    const EffectDescription& Description() const { return description_; }
    // The defines the effect was compiled with, in the order given.
    const std::vector<std::string>& Defines() const { return description_.defines; }
    // Bytes of parameter storage and shader text: what the effect occupies.
    size_t MemoryBytes() const;

    // ---- Parameters ----
    size_t ParameterCount() const { return description_.parameters.size(); }
    const EffectParameter* FindParameter(std::string_view name) const;

    // The numeric setters and getters below take a parameter's name, or the
    // name of a part of one: an element of an array ("weights[2]"), a member
    // of a struct ("light.colour", "lights[1].colour"), each part as a
    // parameter of its type would be.
    // Numeric parameters of any shape. SetFloat writes the first value.
    EffectResult SetFloat(std::string_view name, float value);
    EffectResult GetFloat(std::string_view name, float& value) const;
    // `count` consecutive floats, in the parameter's storage order (element by
    // element, row by row; a struct's members in turn); extra values are
    // ignored. Structs too.
    EffectResult SetFloatArray(std::string_view name, const float* values, uint32_t count);
    EffectResult GetFloatArray(std::string_view name, float* values, uint32_t count) const;
    // A numeric or struct parameter (or part) whole, as the platform packs it:
    // four bytes a value in storage order, floats as floats, ints as 32-bit
    // ints, bools as 32-bit 0 or 1, nothing between a struct's members.
    // `bytes` below that size is an invalid call; bytes past it are ignored
    // (Set) or left as they are (Get).
    EffectResult SetValue(std::string_view name, const void* data, uint32_t bytes);
    EffectResult GetValue(std::string_view name, void* data, uint32_t bytes) const;
    // The bytes SetValue and GetValue take for the parameter or part `name`.
    EffectResult ValueBytes(std::string_view name, uint32_t& bytes) const;
    // Four floats; a parameter with fewer columns takes the first ones. Scalars
    // and vectors (and arrays of them, element 0) only.
    EffectResult SetVector(std::string_view name, const float* xyzw);
    EffectResult GetVector(std::string_view name, float* xyzw) const;
    // `count` vectors of four floats, one per array element.
    EffectResult SetVectorArray(std::string_view name, const float* vectors, uint32_t count);
    EffectResult GetVectorArray(std::string_view name, float* vectors, uint32_t count) const;
    // A 4x4 matrix of 16 floats, row by row; a smaller parameter takes its
    // top-left rows and columns.
    EffectResult SetMatrix(std::string_view name, const float* matrix);
    EffectResult GetMatrix(std::string_view name, float* matrix) const;
    EffectResult SetMatrixArray(std::string_view name, const float* matrices, uint32_t count);
    EffectResult GetMatrixArray(std::string_view name, float* matrices, uint32_t count) const;
    // Texture parameters, and an element of an array of them ("maps[1]"; the
    // name alone is element 0); the texture is not owned and may be null.
    EffectResult SetTexture(std::string_view name, const BaseTexture* texture);
    EffectResult GetTexture(std::string_view name, const BaseTexture*& texture) const;
    // String parameters, and an element of an array of them, as the effect
    // gives them; `value` lasts as long as the effect.
    EffectResult GetString(std::string_view name, std::string_view& value) const;

    // ---- Techniques ----
    size_t TechniqueCount() const { return description_.techniques.size(); }
    const EffectTechnique* FindTechnique(std::string_view name) const;
    // The first technique is current when the effect is made.
    EffectResult SetTechnique(std::string_view name);
    const EffectTechnique* CurrentTechnique() const;
    // kEffectOk when the effect has the technique and it has at least one pass.
    EffectResult ValidateTechnique(std::string_view name) const;

    // ---- Drawing ----
    // Begin answers the current technique's pass count; it may be called again
    // between passes (the renderer re-begins before each pass it switches to).
    EffectResult Begin(uint32_t& passCount);
    EffectResult BeginPass(uint32_t pass);
    EffectResult CommitChanges();
    EffectResult EndPass();
    EffectResult End();
    bool IsBegun() const { return begun_; }
    int ActivePass() const { return activePass_; }  // -1 outside a pass

    // The values handed over at the last BeginPass/CommitChanges.
    const EffectBinding& CurrentBinding() const { return binding_; }
    // The device the passes bind to; the effect holds a reference to it.
    // Changed inside a pass, the binding moves to the new device.
    void SetDevice(Device* device);
    Device* GetDevice() const { return device_; }
    void SetBindHook(BindHook hook) { bindHook_ = std::move(hook); }

private:
    // The parameter `name` when it is of the kind isType accepts, or a failure
    // result; with `element`, `name` may name an element of an array of it.
    EffectResult Typed(std::string_view name, bool (*isType)(EffectParameterType), size_t& index,
                       uint32_t* element = nullptr) const;
    // The numeric part `name` (or a struct one, with `structs`), and no null
    // array where count asks for values.
    EffectResult NumericPart(std::string_view name, const void* values, uint32_t count, ParameterPart& part,
                             bool structs = false) const;
    // The part `name` names whole, as SetValue and GetValue take it: its
    // `count` values fit in the `bytes` at `data`, four bytes a value.
    EffectResult WholePart(std::string_view name, const void* data, uint32_t bytes, ParameterPart& part,
                           uint64_t& count) const;
    // Vectors (rowsEach 1) and matrices (4) as rows of four floats an element.
    EffectResult SetRows(std::string_view name, const float* rows, uint32_t count, size_t rowsEach);
    EffectResult GetRows(std::string_view name, float* rows, uint32_t count, size_t rowsEach) const;
    // Calls visit(k, type) for the values of `part` before `count`: k is the
    // value's place within the part, `type` the numeric type that keeps it
    // (of a struct, its member's).
    template <class Visit>
    void ForEachValue(const ParameterPart& part, uint64_t count, Visit&& visit) const;
    static float Converted(EffectParameterType type, float value);
    float* PartValues(const ParameterPart& part) { return Values(part.parameter) + part.first; }
    const float* PartValues(const ParameterPart& part) const { return Values(part.parameter) + part.first; }
    uint64_t PartFloats(const ParameterPart& part) const
    {
        return uint64_t(PartElementFloats(part, layouts_)) * part.Elements();
    }
    float* Values(size_t index) { return values_.data() + valueAt_[index]; }
    const float* Values(size_t index) const { return values_.data() + valueAt_[index]; }
    size_t ValueCount(size_t index) const { return valueAt_[index + 1] - valueAt_[index]; }
    void FillBinding(const PassProgram& program);
    void Bind(const EffectBinding* binding);
    // The program the active pass draws with now; null (said once) when its
    // shaders cannot be chosen.
    const PassProgram* ChooseProgram();

    // The parameters' values and textures as the pass states read them.
    class CurrentValues : public EffectValues {
    public:
        explicit CurrentValues(const RuntimeEffect& effect) : effect_(effect) {}
        const float* Values(uint32_t index, size_t& count) const override;
        BaseTexture* Texture(uint32_t index, uint32_t element) const override;

    private:
        const RuntimeEffect& effect_;
    };

    EffectDescription description_;
    std::string name_ = "memory"; // the source's name, for the device's messages
    StructLayouts layouts_;
    PassStates passStates_{description_};
    CurrentValues current_{*this};
    std::vector<std::pair<size_t, size_t>> toldUnchosen_; // passes said not to begin, by technique and pass
    // Parameters and techniques by name (views of the description's names).
    NameTable byName_;
    NameTable techniqueByName_;
    // Every parameter's values and textures, one run each, in two arrays: an
    // effect of many parameters is made and unmade in a few steps.
    std::vector<float> values_;
    std::vector<size_t> valueAt_; // parameter i: values_[valueAt_[i], valueAt_[i + 1])
    std::vector<const BaseTexture*> textures_;
    std::vector<size_t> textureAt_;
    int technique_ = -1;
    bool begun_ = false;
    int activePass_ = -1;
    std::unordered_map<const PassProgram*, uint32_t> passesOf_; // that may draw with each program
    EffectBinding binding_;
    BindHook bindHook_;
    Device* device_ = nullptr;
};

} // namespace gfx
