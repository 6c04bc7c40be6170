#include "platform/gfx/fx/hlsl/shader_entry.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <set>

#include "platform/gfx/fx/hlsl/shader_semantics.h"
#include "platform/gfx/fx/hlsl/stage_registers.h"
#include "platform/gfx/fx/hlsl/shader_boundary.h"

namespace gfx {

using namespace shader_entry_parts;

namespace {

const char* Swizzle(int components)
{
    switch (components) {
    case 1: return ".x";
    case 2: return ".xy";
    case 3: return ".xyz";
    default: return "";
    }
}

// Below shader model 3 the colours pass between the stages in registers that
// hold 0 to 1, and the fog factor is clamped to them as it leaves the vertex stage.
bool ClampedBetweenStages(const StageRegisters& registers, const Semantic& semantic)
{
    return !registers.general && (semantic.name == "COLOR" || semantic.name == "FOG");
}

std::string Common()
{
    return "\n// ---- generated entry points ----\n"
           "cbuffer zl_Draw { float4 zl_pixelShift; float4 zl_alphaTest; };\n"
           "float4 zl_widen(float v) { return float4(v, 0, 0, 0); }\n"
           "float4 zl_widen(float2 v) { return float4(v, 0, 0); }\n"
           "float4 zl_widen(float3 v) { return float4(v, 0); }\n"
           "float4 zl_widen(float4 v) { return v; }\n";
}

std::string VaryingMember(int location, const std::string& semantic, bool flat)
{
    return "    [[vk::location(" + std::to_string(location) + ")]] " + (flat ? "nointerpolation " : "") + "float4 zl_v" +
           std::to_string(location) + " : " + semantic + ";\n";
}

std::string Invoke(const Signature& s, const Call& call)
{
    return s.returnType == "void" ? "    " + call.call + ";\n" : "    " + s.returnType + " zl_r = " + call.call + ";\n";
}

} // namespace

ShaderEntryMaker::ShaderEntryMaker(const EffectDescription& effect) : tables_(std::make_unique<Tables>(effect)) {}
ShaderEntryMaker::~ShaderEntryMaker() = default;

bool MakeVertexEntry(const EffectDescription& effect, const EffectShader& shader, ShaderEntry& out, std::string& error)
{
    return ShaderEntryMaker(effect).Vertex(shader, out, error);
}

bool MakePixelEntry(const EffectDescription& effect, const EffectShader& shader, const std::vector<Varying>& written,
                    ShaderEntry& out, std::string& error)
{
    return ShaderEntryMaker(effect).Pixel(shader, written, out, error);
}

namespace {

// One register of a value that crosses the stage boundary: the value itself,
// or a row of a matrix at the index after the row before.
Semantic RowSemantic(const Leaf& leaf, int row)
{
    Semantic semantic = leaf.semantic;
    semantic.index += static_cast<uint32_t>(row);
    return semantic;
}

std::string RowAccess(const Leaf& leaf, int row)
{
    return leaf.shape.rows > 1 ? leaf.access + "[" + std::to_string(row) + "]" : leaf.access;
}

// The semantic of a register as written, for the code and for messages.
std::string RowWritten(const Leaf& leaf, int row)
{
    if (leaf.shape.rows == 1)
        return leaf.written;
    const Semantic semantic = RowSemantic(leaf, row);
    return semantic.name + std::to_string(semantic.index);
}

// The semantic of a register in the generated code: its name and index alone.
std::string RowCode(const Leaf& leaf, int row)
{
    const Semantic semantic = RowSemantic(leaf, row);
    return semantic.name + std::to_string(semantic.index);
}

std::string RowName(const Leaf& leaf, int row)
{
    return "'" + RowWritten(leaf, row) + "'" +
           (leaf.shape.rows > 1 ? " (row " + std::to_string(row) + " of '" + leaf.written + "')" : std::string());
}

// Locations for the pairs that have no fixed one: the lowest that no other
// pair of the shader takes (the callers keep the pairs within the places).
void PlaceTheRest(std::vector<int>& locations)
{
    uint64_t taken = 0;
    for (int location : locations)
        if (location >= 0)
            taken |= uint64_t{1} << location;
    for (int& location : locations) {
        if (location < 0) {
            location = std::countr_one(taken);
            taken |= uint64_t{1} << location;
        }
    }
}

} // namespace

bool ShaderEntryMaker::Vertex(const EffectShader& shader, ShaderEntry& out, std::string& error)
{
    Signature s;
    std::vector<std::string> arguments;
    Call call;
    if (!FindEntry(*tables_, shader, s, arguments, error) || !PrepareCall(*tables_, s, arguments, call, error))
        return false;
    out = ShaderEntry();
    out.name = "zl_vertex_main";
    // Inputs, one per register, matched to the declaration by usage and
    // index. Where they are more than the registers (an input struct may
    // declare more), only what the function may read takes one; the rest read zero.
    std::vector<Semantic> declared, inputs;
    std::vector<int> attributes;
    size_t declaredRows = 0;
    for (const Leaf& leaf : call.inputs)
        declaredRows += size_t(leaf.shape.rows);
    std::vector<bool> read(call.inputs.size(), true);
    for (size_t k = 0; k < call.inputs.size(); ++k) {
        const Leaf& leaf = call.inputs[k];
        if (declaredRows > kVertexInputRegisters)
            read[k] = MayRead(tables_->BodyOf(s.function), leaf.read);
        for (int r = 0; r < leaf.shape.rows; ++r) {
            const Semantic sem = VertexInputSemantic(RowSemantic(leaf, r));
            std::string why;
            if (!IsDeclarationSemantic(sem))
                why = " is not a declaration usage with an index up to " + std::to_string(kMaxUsageIndex);
            else if (std::find(declared.begin(), declared.end(), sem) != declared.end())
                why = " has no attribute of its own: another input reads it";
            else if (read[k] && inputs.size() == kVertexInputRegisters)
                why = " is past the " + std::to_string(kVertexInputRegisters) + " inputs a vertex shader reads";
            if (!why.empty()) {
                error = "vertex input semantic " + RowName(leaf, r) + why;
                return false;
            }
            declared.push_back(sem);
            if (!read[k])
                continue;
            inputs.push_back(sem);
            attributes.push_back(VertexInputLocation(sem));
        }
    }
    PlaceTheRest(attributes);
    std::string members = "    float4 zl_position : SV_Position;\n";
    std::string params;
    std::string fill;
    size_t next = 0;
    for (size_t k = 0; k < call.inputs.size(); ++k) {
        const Leaf& leaf = call.inputs[k];
        if (!read[k])
            continue;
        const int rows = leaf.shape.rows;
        std::string parts;
        for (int r = 0; r < rows; ++r, ++next) {
            const Semantic& sem = inputs[next];
            const int location = attributes[next];
            const std::string name = "zl_a" + std::to_string(location);
            if (!params.empty())
                params += ", ";
            params += "[[vk::location(" + std::to_string(location) + ")]] float" +
                      (leaf.shape.columns > 1 ? std::to_string(leaf.shape.columns) : std::string()) + " " + name +
                      " : " + sem.name + std::to_string(sem.index);
            parts += (r ? ", " : "") + name;
            out.attributes.push_back({static_cast<uint32_t>(location), static_cast<uint32_t>(SemanticUsage(sem.name)),
                                      sem.index});
        }
        // A matrix is built from its rows; anything else converts from its one input.
        fill += "    " + leaf.access + " = " +
                (rows > 1 ? leaf.shape.text + "(" + parts + ")" : "(" + leaf.shape.text + ")(" + parts + ")") + ";\n";
    }
    // Outputs: the position, and the values for the pixel stage as the target's registers allow.
    const StageRegisters registers = VertexOutputRegisters(shader.profile);
    std::vector<int> varyings;
    for (const Leaf& leaf : call.outputs) {
        for (int r = 0; r < leaf.shape.rows; ++r) {
            const Semantic sem = RowSemantic(leaf, r);
            if (IsPositionSemantic(sem) || IsPointSizeSemantic(sem))
                continue;
            std::string why;
            if (!registers.Takes(sem))
                why = " is not one " + shader.profile + " writes (POSITION, PSIZE, " + registers.Describe() + ")";
            else if (std::any_of(out.varyings.begin(), out.varyings.end(),
                                 [&](const Varying& v) { return v.semantic == sem; }))
                why = " has no place of its own";
            else if (out.varyings.size() == kVaryingSlots)
                why = " finds no place: the " + std::to_string(kVaryingSlots) + " places between the stages are taken";
            if (!why.empty()) {
                error = "vertex output semantic " + RowName(leaf, r) + why;
                return false;
            }
            out.varyings.push_back({sem, 0});
            varyings.push_back(VaryingLocation(sem));
        }
    }
    PlaceTheRest(varyings);
    std::string store;
    bool position = false;
    next = 0;
    for (const Leaf& leaf : call.outputs) {
        for (int r = 0; r < leaf.shape.rows; ++r) {
            const Semantic sem = RowSemantic(leaf, r);
            const std::string value = RowAccess(leaf, r);
            if (IsPositionSemantic(sem)) {
                store += "    zl_o.zl_position = zl_widen(" + value + ");\n";
                if (leaf.shape.columns == 3)
                    store += "    zl_o.zl_position.w = 1.0;\n";
                position = true;
                continue;
            }
            if (IsPointSizeSemantic(sem))
                continue;
            const int location = varyings[next];
            out.varyings[next++].location = location;
            members += VaryingMember(location, RowCode(leaf, r), leaf.flat);
            const std::string widened = "zl_widen((float" +
                                        (leaf.shape.columns > 1 ? std::to_string(leaf.shape.columns) : std::string()) +
                                        ")" + value + ")";
            store += "    zl_o.zl_v" + std::to_string(location) + " = " +
                     (ClampedBetweenStages(registers, sem) ? "saturate(" + widened + ")" : widened) + ";\n";
        }
    }
    if (!position) {
        error = "'" + s.name + "' writes no POSITION";
        return false;
    }
    out.code = Common() + "struct zl_VertexOutput {\n" + members + "};\n" + "zl_VertexOutput zl_vertex_main(" + params +
               ")\n{\n";
    out.body = out.code.size();
    out.code += call.locals + fill + Invoke(s, call) + "    zl_VertexOutput zl_o = (zl_VertexOutput)0;\n" + store +
               // Pixel centres lie on integer coordinates: move the whole picture by half a pixel.
               "    zl_o.zl_position.xy += zl_pixelShift.xy * zl_o.zl_position.w;\n"
               "    return zl_o;\n}\n";
    return true;
}

namespace {

std::string AlphaTest(const std::string& colour)
{
    // zl_alphaTest: x enabled, y reference (0..255), z comparison function.
    return "    if (zl_alphaTest.x != 0) {\n"
           "        float zl_a = floor(saturate(" + colour + ".a) * 255.0 + 0.5);\n"
           "        float zl_ref = zl_alphaTest.y;\n"
           "        int zl_f = (int)zl_alphaTest.z;\n"
           "        bool zl_pass = zl_f == 2 ? zl_a < zl_ref : zl_f == 3 ? zl_a == zl_ref : zl_f == 4 ? zl_a <= zl_ref :\n"
           "                       zl_f == 5 ? zl_a > zl_ref : zl_f == 6 ? zl_a != zl_ref : zl_f == 7 ? zl_a >= zl_ref :\n"
           "                       zl_f != 1;\n"
           "        if (!zl_pass) discard;\n"
           "    }\n";
}

std::string FogBlock()
{
    // zl_fogMode: x on, y the table mode (0 none: the vertex stage's factor;
    // 1 exp, 2 exp2, 3 linear), z 1 for the depth from w, else z.
    // zl_fogRange: start, end, density.
    return std::string("cbuffer ") + kFogBlockName + " { float4 zl_fogColour; float4 zl_fogMode; float4 zl_fogRange; };\n";
}

// The fog factor the vertex stage hands on, read where it writes FOG; 1 (no
// fog) where it writes none.
template <class AddParam>
std::string FogInput(const std::vector<Varying>& written, std::set<int>& read, std::vector<Varying>& varyings,
                     AddParam addParam)
{
    const Semantic fog{"FOG", 0};
    const auto from = std::find_if(written.begin(), written.end(), [&](const Varying& v) { return v.semantic == fog; });
    if (from == written.end())
        return "1.0";
    const std::string name = "zl_v" + std::to_string(from->location);
    if (read.insert(from->location).second) {
        addParam("[[vk::location(" + std::to_string(from->location) + ")]] float4 " + name + " : FOG");
        varyings.push_back(*from);
    }
    return name + ".x";
}

// The colour blended with the fog colour by the factor: from the vertex stage,
// or from the depth by the table mode.
std::string Fog(const std::string& colour, const std::string& vertexFactor)
{
    return "    if (zl_fogMode.x != 0) {\n"
           "        float zl_d = zl_fogMode.z != 0 ? 1.0 / zl_fragCoord.w : zl_fragCoord.z;\n"
           "        float zl_f = " + vertexFactor + ";\n"
           "        float zl_span = zl_fogRange.y - zl_fogRange.x;\n"
           "        if (zl_fogMode.y == 1) zl_f = exp(-zl_d * zl_fogRange.z);\n"
           "        else if (zl_fogMode.y == 2) zl_f = exp(-(zl_d * zl_fogRange.z) * (zl_d * zl_fogRange.z));\n"
           "        else if (zl_fogMode.y == 3)\n"
           "            zl_f = zl_span != 0 ? (zl_fogRange.y - zl_d) / zl_span : (zl_d < zl_fogRange.y ? 1.0 : 0.0);\n"
           "        " + colour + ".rgb = lerp(zl_fogColour.rgb, " + colour + ".rgb, saturate(zl_f));\n"
           "    }\n";
}

} // namespace

bool ShaderEntryMaker::Pixel(const EffectShader& shader, const std::vector<Varying>& written, ShaderEntry& out,
                             std::string& error)
{
    Signature s;
    std::vector<std::string> arguments;
    Call call;
    if (!FindEntry(*tables_, shader, s, arguments, error) || !PrepareCall(*tables_, s, arguments, call, error))
        return false;
    out = ShaderEntry();
    out.name = "zl_pixel_main";
    std::string params;
    std::string fill;
    bool fragCoord = false, face = false;
    std::set<int> read;
    const StageRegisters registers = PixelInputRegisters(shader.profile);
    auto addParam = [&](const std::string& p) {
        if (!params.empty())
            params += ", ";
        params += p;
    };
    for (const Leaf& leaf : call.inputs) {
        const std::string cast = "(" + leaf.shape.text + ")";
        if (IsPixelPositionSemantic(leaf.semantic)) {
            fragCoord = true;
            // x and y as the platform counts pixels; z and w, when read, as the rasterizer gives them.
            if (leaf.shape.columns <= 2)
                fill += "    " + leaf.access + " = " + cast + "(zl_fragCoord" + Swizzle(leaf.shape.columns) + " - 0.5);\n";
            else
                fill += "    " + leaf.access + " = " + cast + "float4(zl_fragCoord.xy - 0.5, zl_fragCoord.zw)" +
                        Swizzle(leaf.shape.columns) + ";\n";
            continue;
        }
        if (IsPositionSemantic(leaf.semantic) || IsPointSizeSemantic(leaf.semantic)) {
            // A vertex output no pixel stage reads: ignored, and the point
            // size refused where it is read (the position reads as zero).
            if (IsPointSizeSemantic(leaf.semantic) && Reads(tables_->BodyOf(s.function), leaf.read)) {
                error = "pixel input semantic '" + leaf.written + "' is not one " + shader.profile + " reads";
                return false;
            }
            fill += "    " + leaf.access + " = " + cast + "0;\n";
            continue;
        }
        if (IsFaceSemantic(leaf.semantic)) {
            face = true;
            fill += "    " + leaf.access + " = " + cast + "(zl_front ? 1.0 : -1.0);\n";
            continue;
        }
        // One register per row, each from the vertex output of the same semantic.
        std::vector<std::string> parts;
        for (int r = 0; r < leaf.shape.rows; ++r) {
            const Semantic sem = RowSemantic(leaf, r);
            if (!registers.Takes(sem) && !Reads(tables_->BodyOf(s.function), leaf.read)) {
                // What the shader never reads it need not be given: a
                // struct shared with the vertex stage holds such values.
                parts.emplace_back();
                continue;
            }
            if (!registers.Takes(sem)) {
                error = "pixel input semantic " + RowName(leaf, r) + " is not one " + shader.profile + " reads (" +
                        registers.Describe() + ")";
                return false;
            }
            const auto from = std::find_if(written.begin(), written.end(),
                                           [&](const Varying& v) { return v.semantic == sem; });
            if (from == written.end()) {
                parts.emplace_back(); // never written by the vertex stage
                continue;
            }
            const int location = from->location;
            if (read.insert(location).second) {
                addParam("[[vk::location(" + std::to_string(location) + ")]] " + (leaf.flat ? "nointerpolation " : "") +
                         (leaf.centroid ? "centroid " : "") + "float4 zl_v" + std::to_string(location) + " : " +
                         RowCode(leaf, r));
                out.varyings.push_back({sem, location});
            }
            const std::string input = "zl_v" + std::to_string(location);
            parts.push_back((ClampedBetweenStages(registers, sem) ? "saturate(" + input + ")" : input) +
                            Swizzle(leaf.shape.columns));
        }
        if (leaf.shape.rows == 1) {
            fill += "    " + leaf.access + " = " + cast + (parts[0].empty() ? "0" : "(" + parts[0] + ")") + ";\n";
            continue;
        }
        const std::string row = "float" + std::to_string(leaf.shape.columns);
        std::string rows;
        for (const std::string& part : parts)
            rows += (rows.empty() ? "" : ", ") + (part.empty() ? "(" + row + ")0" : part);
        fill += "    " + leaf.access + " = " + leaf.shape.text + "(" + rows + ");\n";
    }
    // Below shader model 3 the fixed-function fog follows the pixel stage.
    const bool fogged = !registers.general;
    std::string fogFactor;
    if (fogged) {
        fragCoord = true;
        fogFactor = FogInput(written, read, out.varyings, addParam);
    }
    if (fragCoord)
        addParam("float4 zl_fragCoord : SV_Position");
    if (face)
        addParam("bool zl_front : SV_IsFrontFace");
    std::string members;
    std::string store;
    std::string firstColour;
    std::set<int> targets;
    bool depth = false;
    for (const Leaf& leaf : call.outputs) {
        if (IsDepthSemantic(leaf.semantic) && !depth) {
            depth = true;
            members += "    float zl_depth : SV_Depth;\n";
            store += "    zl_o.zl_depth = (float)" + leaf.access + ";\n";
            continue;
        }
        const int target = ColourTarget(leaf.semantic);
        if (target < 0 || leaf.shape.rows != 1 || !targets.insert(target).second) {
            error = "pixel output semantic '" + leaf.written + "' has no place of its own";
            return false;
        }
        const std::string member = "zl_t" + std::to_string(target);
        members += "    float4 " + member + " : SV_Target" + std::to_string(target) + ";\n";
        store += "    zl_o." + member + " = zl_widen((float" +
                 (leaf.shape.columns > 1 ? std::to_string(leaf.shape.columns) : std::string()) + ")" + leaf.access +
                 ");\n";
        if (target == 0)
            firstColour = "zl_o." + member;
    }
    if (members.empty()) {
        error = "'" + s.name + "' writes no COLOR";
        return false;
    }
    out.code = Common() + (fogged ? FogBlock() : std::string()) + "struct zl_PixelOutput {\n" + members + "};\n" +
               "zl_PixelOutput zl_pixel_main(" + params + ")\n{\n";
    out.body = out.code.size();
    out.code += call.locals + fill + Invoke(s, call) + "    zl_PixelOutput zl_o = (zl_PixelOutput)0;\n" + store +
               (fogged && !firstColour.empty() ? Fog(firstColour, fogFactor) : std::string()) +
               (firstColour.empty() ? std::string() : AlphaTest(firstColour)) + "    return zl_o;\n}\n";
    return true;
}

std::vector<Varying> PassThroughVaryings()
{
    std::vector<Varying> out;
    for (const char* name : {"TEXCOORD", "COLOR"}) {
        for (uint32_t index = 0; index < 16; ++index) {
            const Semantic sem{name, index};
            const int location = VaryingLocation(sem);
            if (location >= 0)
                out.push_back({sem, location});
        }
    }
    return out;
}

ShaderEntry MakePassThroughVertexEntry(const ShaderEntry& pixel)
{
    ShaderEntry out;
    out.name = "zl_vertex_main";
    std::string members = "    float4 zl_position : SV_Position;\n";
    std::string params = "[[vk::location(0)]] float4 zl_a0 : POSITION0";
    std::string store = "    zl_o.zl_position = zl_a0;\n";
    out.attributes.push_back({0, 0, 0});
    for (const Varying& varying : pixel.varyings) {
        // Texture coordinates and colours come from the vertex input of the same name.
        const Semantic& sem = varying.semantic;
        const int location = varying.location;
        if (sem.name != "TEXCOORD" && sem.name != "COLOR")
            continue;
        const std::string written = sem.name + std::to_string(sem.index);
        members += VaryingMember(location, written, false);
        out.varyings.push_back(varying);
        const int attribute = VertexInputLocation(sem);
        if (attribute < 0) {
            continue; // read as zero
        }
        params += ", [[vk::location(" + std::to_string(attribute) + ")]] float4 zl_a" + std::to_string(attribute) +
                  " : " + written;
        store += "    zl_o.zl_v" + std::to_string(location) + " = zl_a" + std::to_string(attribute) + ";\n";
        out.attributes.push_back(
            {static_cast<uint32_t>(attribute), static_cast<uint32_t>(SemanticUsage(sem.name)), sem.index});
    }
    out.code = Common() + "struct zl_VertexOutput {\n" + members + "};\nzl_VertexOutput zl_vertex_main(" + params +
               ")\n{\n    zl_VertexOutput zl_o = (zl_VertexOutput)0;\n" + store +
               "    zl_o.zl_position.xy += zl_pixelShift.xy * zl_o.zl_position.w;\n    return zl_o;\n}\n";
    return out;
}

ShaderEntry MakePlainPixelEntry(const std::vector<Varying>& written)
{
    ShaderEntry out;
    out.name = "zl_pixel_main";
    const Semantic colour0{"COLOR", 0};
    const auto colour =
        std::find_if(written.begin(), written.end(), [&](const Varying& v) { return v.semantic == colour0; });
    std::string params;
    auto addParam = [&](const std::string& p) { params += (params.empty() ? "" : ", ") + p; };
    std::string value = "float4(1, 1, 1, 1)";
    std::set<int> read;
    if (colour != written.end()) {
        const std::string name = "zl_v" + std::to_string(colour->location);
        addParam("[[vk::location(" + std::to_string(colour->location) + ")]] float4 " + name + " : COLOR0");
        value = "saturate(" + name + ")";
        out.varyings.push_back(*colour);
        read.insert(colour->location);
    }
    // The fixed-function pixel stage, which fog follows as it follows a shader below model 3.
    const std::string fogFactor = FogInput(written, read, out.varyings, addParam);
    addParam("float4 zl_fragCoord : SV_Position");
    out.code = Common() + FogBlock() + "struct zl_PixelOutput { float4 zl_t0 : SV_Target0; };\nzl_PixelOutput zl_pixel_main(" +
               params + ")\n{\n    zl_PixelOutput zl_o;\n    zl_o.zl_t0 = " + value + ";\n" +
               Fog("zl_o.zl_t0", fogFactor) + AlphaTest("zl_o.zl_t0") + "    return zl_o;\n}\n";
    return out;
}

} // namespace gfx
