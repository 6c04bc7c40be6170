#pragma once
// What a compiled-effect file claims, held to what the compiler writes. A
// file's checksum finds damage, not intent: whatever a file says is checked
// again as the compiler checked it before a pass can set it on a device:
// first that its names are identifiers, so a message quotes them in one line;
// then the description's own rules (CheckEffectDescription); then every fact
// the drawing relies on: each state's registers within their room
// from its index, its value's size as the state takes it, every expression's
// parameters numeric and read as they are declared, shaders chosen only where
// the pass has none of its own, a program for every pass and pair of chosen
// shaders that has one exactly where a shader is set, each program's uniforms
// the places of numeric parameters (or of the numeric members of struct ones)
// of their shapes, its samplers sampler parameters on units of their own, and
// its vertex inputs in order; last, that its expressions cost no more than
// their bytes allow (the bound of CheckExpressionWork), counted as they are
// checked.
#include <string>

#include "platform/gfx/fx/parser/effect_description.h"

namespace gfx {

// "" when the compiler could have written `description`, else the first fact
// it could not have, in words.
std::string CheckCompiledEffect(const EffectDescription& description);

// The expressions an effect keeps (states of passes and samplers, indices
// of shaders chosen from arrays) are evaluated at every begin of a pass: ""
// when, all together, they take no more steps of work (Expression::Work)
// than the compiler's budget gives a text of their bytes, else that bound in
// words. The compiler holds what it writes to the same, so a file it wrote
// is never refused for it.
std::string CheckExpressionWork(const EffectDescription& description);

} // namespace gfx
