#pragma once
// The head of an HLSL function as written, read by the one reader that every
// reader of the shader text shares: its modifiers, the type it returns, its
// name, each parameter (modifiers, type, name, array size, semantic,
// default value) and the semantic after the list. What it gives are token
// indices into the tokens it read, so each reader takes the text it needs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/hlsl_modifiers.h"

namespace gfx {

struct FunctionParameter {
    static constexpr size_t kNone = ~size_t{0};
    size_t first = 0;               // its first token (a modifier or its type)
    size_t last = 0;                // one past its last
    size_t typeBegin = 0;           // its type's tokens: [typeBegin, typeEnd)
    size_t typeEnd = 0;
    size_t name = kNone;            // its name's token
    size_t arrayOpen = kNone;       // the '[' of its array size
    size_t arrayClose = kNone;      // and its ']'
    size_t semantic = kNone;        // the token after ':'
    size_t defaultBegin = kNone;    // its default value's tokens: [defaultBegin, last)
    HlslDirection direction = HlslDirection::Unsaid;
    bool uniform = false;
    bool flat = false;
};

struct FunctionHead {
    static constexpr size_t kNone = FunctionParameter::kNone;
    size_t typeBegin = 0; // the type it returns: [typeBegin, typeEnd)
    size_t typeEnd = 0;
    size_t name = 0;
    size_t open = 0;      // the parameter list's '('
    size_t close = 0;     // and its ')'
    size_t semantic = kNone; // the token after a ':' that follows the list
    std::vector<FunctionParameter> parameters;
};

// The head whose first token (a modifier or the type it returns) is
// tokens[first]; false when no '(' follows a name there, or it is never
// closed. `matches` (BracketMatches of the tokens), when given, finds the
// brackets' ends at once.
bool ReadFunctionHead(const std::vector<Token>& tokens, size_t first, FunctionHead& out,
                      const std::vector<size_t>* matches = nullptr);

// One variable as written in tokens [first, last): modifiers that may stand
// in `places` (HlslModifierPlace bits), its type, name, array size, semantic
// and default value: a parameter, or a struct's member.
FunctionParameter ReadVariable(const std::vector<Token>& tokens, size_t first, size_t last, uint8_t places,
                               const std::vector<size_t>* matches = nullptr);

// The end of a type whose first token is tokens[at]: past a `vector<...>`
// or `matrix<...>` template, else past the one name.
size_t TypeEnd(const std::vector<Token>& tokens, size_t at, size_t last);

} // namespace gfx
