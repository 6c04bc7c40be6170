#pragma once
// One shader stage through glslang's HLSL front end (Direct3D 9 compatible:
// sampler2D with tex2D as combined samplers) to SPIR-V. Errors come back as
// "file(line,col): error X3000: text" lines naming the effect file and line the
// author wrote; errors inside the generated entry point name the shader function.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gfx/fx/hlsl_source.h"
#include "platform/gfx/fx/shader_entry.h"

namespace gfx {

enum class ShaderStage { Vertex, Pixel };

// The compiler's built-in tables, built once for the process (tens of
// milliseconds, on one thread, before any stage can compile): built now, by the
// calling thread, unless they are already there. Anything that needs no stage
// compiled can go on alongside it.
void PrepareShaderCompiler();
// The tables are built.
bool ShaderCompilerPrepared();

// `text`: the source's text or a part of it with the same lines (see
// HlslSource::TextFor); `blame`: where errors in the generated entry point are
// reported.
bool CompileHlslStage(const HlslSource& source, const std::string& text, const ShaderEntry& entry,
                      ShaderStage stage, const HlslSource::Origin& blame, std::vector<uint32_t>& spirv,
                      std::string& messages);

} // namespace gfx
