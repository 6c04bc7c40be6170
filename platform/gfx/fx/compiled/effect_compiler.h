#pragma once
// Source to description in one step: preprocess with the defines, parse, then
// compile every pass's shaders. The compiler program and the in-memory effect
// creation both go through here, so they accept and reject the same files.
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"

namespace gfx {

// Returns false with the messages when the source does not compile. The names of
// `defines` are recorded in the description.
bool CompileEffectSource(std::string_view source, const std::string& fileName,
                         const std::vector<EffectMacro>& defines, const EffectFileReader& reader,
                         EffectDescription& out, std::string& messages);

} // namespace gfx
