#pragma once
// The values at a stage's boundary, read from the entry function's parameters,
// result and structs: what the writer of the wrappers (shader_entry.cpp) places.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/hlsl/shader_entry.h"
#include "platform/gfx/fx/hlsl/shader_semantics.h"

namespace gfx {

// The pieces of a signature, named apart: the maker's tables keep them.
namespace shader_entry_parts {

constexpr size_t kNoStruct = ~size_t{0};

struct Shape {
    std::string text;     // the type as written
    size_t structIndex = kNoStruct; // in the effect's structs
    int rows = 1;         // matrices: rows of `columns` components
    int columns = 1;
    bool known = false;
};

struct Variable {
    std::string type;
    std::string name;
    std::string semantic;
    bool in = true;
    bool out = false;
    bool uniform = false;
    bool array = false;
    int elements = 0;  // an array's size when written as a number, else -1
    bool flat = false; // nointerpolation: the same value over the whole primitive
    std::string initial; // a parameter's default value, as written
};

struct Signature {
    size_t function = 0; // in the effect's functions
    std::string returnType;
    std::string name;
    std::string semantic;
    std::vector<Variable> parameters;
};

// One value with a semantic that crosses the stage boundary.
struct Leaf {
    std::string access;   // expression naming it inside the wrapper
    Shape shape;
    Semantic semantic;
    std::string written;  // the semantic as written
    bool flat = false;
    bool centroid = false; // sampled where the primitive covers the pixel (a `_centroid` semantic)
    std::string read;     // what names it in the effect's function: a parameter, then members
};

struct Call {
    std::string locals;   // declarations before the call
    std::string call;     // the call expression
    std::vector<Leaf> inputs;
    std::vector<Leaf> outputs;
};

} // namespace shader_entry_parts

// The effect's functions and structs by name, each signature and member list
// read the first time it is needed and kept for the passes after.
struct ShaderEntryMaker::Tables {
    struct Read {
        bool done = false;
        bool ok = false;
        shader_entry_parts::Signature signature;
    };
    const EffectDescription& effect;
    std::unordered_map<std::string_view, std::vector<size_t>> functions;
    std::unordered_map<std::string_view, size_t> structs;
    std::vector<Read> signatures;                          // by function
    std::vector<std::optional<std::vector<shader_entry_parts::Variable>>> members; // by struct
    std::vector<std::optional<std::vector<Token>>> bodies;     // by function, read when asked

    explicit Tables(const EffectDescription& e) : effect(e), signatures(e.functions.size()), members(e.structs.size()),
          bodies(e.functions.size())
    {
        for (size_t i = 0; i < e.functions.size(); ++i)
            functions[e.functions[i].name].push_back(i);
        for (size_t i = 0; i < e.structs.size(); ++i)
            structs.emplace(e.structs[i].name, i);
    }
    const Read& SignatureOf(size_t function);
    const std::vector<shader_entry_parts::Variable>& MembersOf(size_t structIndex);
    // The tokens of a function's body, from its '{'.
    const std::vector<Token>& BodyOf(size_t function);
};

namespace shader_entry_parts {

using Tables = ShaderEntryMaker::Tables;

// The function `shader` names whose uniform parameters take its arguments.
bool FindEntry(Tables& tables, const EffectShader& shader, Signature& out, std::vector<std::string>& arguments,
               std::string& error);
// The call of the entry function from the wrapper, with the values it takes and gives.
bool PrepareCall(Tables& tables, const Signature& s, const std::vector<std::string>& arguments,
                 Call& out, std::string& error);
// Whether the body reads the value that `path` names ("IN.fog": a
// parameter, then members; an array's elements all as the array) by name.
// Where the parameter or a struct around the value is used whole, or handed
// on, what becomes of the value is not known here: that is no read by name.
bool Reads(const std::vector<Token>& body, const std::string& path);
// Whether the body may read that value: by name, or through the parameter
// or a struct around it used whole (handed on, copied), whose reader is not
// known here.
bool MayRead(const std::vector<Token>& body, const std::string& path);

} // namespace shader_entry_parts

} // namespace gfx
