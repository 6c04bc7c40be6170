#pragma once
// The states an effect's passes set on the device, as the platform's effect
// system sets them when a pass begins: every assignment of the pass in its
// order, a value that names parameters evaluated from their values then; at
// the place of the pass's shaders, the states of every sampler its program
// reads and the texture its block names, on the sampler unit the program gave
// it (a sampler that names none draws the unit's texture as the program set
// it), its values worked out once a begin or commit however many states of
// the pass name it; lights and the
// material gathered from their members, each set whole (members not written
// keep their defaults). A commit inside the pass sets again only what changed.
// A pass that takes its shaders from arrays draws with the program of the
// elements its indices choose; an index outside its array is refused, and
// nothing is read outside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/device/device_states.h"
#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/syntax/name_table.h"

namespace gfx {

class BaseTexture;
class Device;

// What the effect holds now: the parameters' values (as the expressions of
// states read them) and textures.
class EffectValues : public ExpressionParameters {
public:
    // The texture of element `element` of texture parameter `index`, or null.
    virtual BaseTexture* Texture(uint32_t index, uint32_t element) const = 0;
};

class PassStates {
public:
    // `description` must outlive this.
    explicit PassStates(const EffectDescription& description);

    // The program pass `pass` of technique `technique` draws with now; null,
    // with `why`, when an index chooses outside its array.
    const PassProgram* Program(size_t technique, size_t pass, const EffectValues& values, std::string& why);

    // Sets the pass's states on `device` as its begin does, or, with `commit`,
    // those whose value (or texture) changed since.
    void Apply(Device& device, size_t technique, size_t pass, const PassProgram& program, const EffectValues& values,
               bool commit);

private:
    static constexpr uint32_t kNone = ~uint32_t{0};
    // One assignment made ready: the parameter it names, or its expression,
    // and room for its words.
    struct Ready {
        uint32_t parameter = kNone;
        uint32_t element = 0; // of an array of textures
        Expression expression;
        std::vector<uint32_t> words;
        bool held = false; // of a sampler's state: the words hold its value at this begin or commit
    };
    struct PassReady {
        std::vector<Ready> assignments;
        size_t lastShader = ~size_t{0}; // the assignment after which the program's samplers are set
        Expression vertexIndex;         // of a shader chosen from an array
        Expression pixelIndex;
    };
    struct SamplerReady {
        uint32_t texture = kNone;       // the texture parameter its sampler_state names
        uint32_t element = 0;           // and the element of it
        std::vector<Ready> assignments;
        uint64_t applied = 0;           // the begin or commit its words were worked out at
    };

    void Set(Device& device, const StateAssignment& a, Ready& ready, const EffectValues& values, bool commit,
             std::vector<std::pair<uint32_t, Light>>& lights, Material* material, bool& materialSet);
    void SetSampler(Device& device, uint32_t sampler, uint32_t unit, const EffectValues& values, bool commit);
    // Constants set by register, from words copied into a buffer of their type.
    void SetConstants(Device& device, const StateAssignment& a, const std::vector<uint32_t>& words);
    // The words of a value, constant or evaluated now; false when it has none.
    bool WordsOf(const StateAssignment& a, Ready& ready, const EffectValues& values);
    // The element an index chooses now, or false with `why`.
    bool Element(const EffectShaderChoice& choice, const Expression& index, const EffectValues& values, size_t& element,
                 std::string& why);
    // The parameter `name` names, kNone for none, and the element of an array of textures.
    uint32_t ParameterIndex(const std::string& name, uint32_t* element = nullptr) const;

    const EffectDescription& description_;
    NameTable parameters_; // index by name
    std::vector<std::vector<PassReady>> passes_;   // by technique, by pass
    std::vector<SamplerReady> samplers_;           // by parameter; empty for the others
    const PassProgram* lastProgram_ = nullptr; // the program of the last begin or commit
    uint64_t applied_ = 0;                     // begins and commits so far
    ExpressionScratch scratch_;
    ExpressionValue value_;
    std::vector<float> floats_;  // registers of constants set by register, kept between begins
    std::vector<int32_t> ints_;
};

} // namespace gfx
