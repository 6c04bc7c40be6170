#include "platform/gfx/fx/compiled/compiled_effect.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <span>
#include <unordered_map>

#include <zlib.h>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/compiled/compiled_effect_check.h"
#include "platform/gfx/fx/hlsl/shader_semantics.h"
#include "platform/gfx/fx/hlsl/stage_registers.h"
#include "platform/gfx/fx/syntax/name_table.h"

namespace gfx {
namespace {

constexpr size_t kHeaderSize = 8 + 4 + 4 + 4;

// A vertex input is stored as its location alone when its usage and index are
// the pair fixed at that location, else with this flag, the usage in the third
// byte and the index in the fourth.
constexpr uint32_t kOwnVertexInput = 0x100;

uint32_t PackVertexInput(const VertexInput& input)
{
    if (VertexAttributeLocation(input.usage, input.usageIndex) == static_cast<int>(input.location))
        return input.location;
    return input.location | kOwnVertexInput | input.usage << 16 | input.usageIndex << 24;
}

bool UnpackVertexInput(uint32_t packed, VertexInput& input)
{
    input.location = packed & 0xFF;
    if (packed & kOwnVertexInput) {
        input.usage = (packed >> 16) & 0xFF;
        input.usageIndex = packed >> 24;
    } else {
        FixedVertexAttribute(input.location, input.usage, input.usageIndex);
    }
    const uint32_t unused = packed & kOwnVertexInput ? 0xFE00 : 0xFFFFFE00;
    // The pair fixed at its location is never stored as its own.
    const bool own = packed & kOwnVertexInput;
    return input.location < kMaxVertexAttributes && (packed & unused) == 0 &&
           input.usage < kDeclarationUsages && input.usageIndex <= kMaxUsageIndex &&
           !(own && VertexAttributeLocation(input.usage, input.usageIndex) == static_cast<int>(input.location));
}

// In place of a program, one written whole before it: this word, then that
// program's number among those written whole. No vertex stage has so many
// words of code, so a reader of files without it refuses such a file.
constexpr uint32_t kProgramWrittenBefore = 0xFFFFFFFF;

// The payload's items on top of the plain byte writer: strings as u32 length
// + bytes, lists as u32 count + items. The bytes are counted as they are
// written: past `most`, nothing more is kept (`keep` false keeps none).
class Writer {
public:
    explicit Writer(uint64_t most = ~uint64_t{0}, bool keep = true) : most_(most), keep_(keep) {}

    bool Fits() const { return counted_ <= most_; }
    uint64_t Counted() const { return counted_; }
    void U8(uint8_t v)
    {
        if (Room(1))
            out_.U8(v);
    }
    void U32(uint32_t v)
    {
        if (Room(4))
            out_.U32(v);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v)
    {
        if (Room(4))
            out_.F32(v);
    }
    void Raw(const void* data, size_t size)
    {
        if (Room(size))
            out_.Bytes(data, size);
    }
    void Str(const std::string& s)
    {
        U32(static_cast<uint32_t>(s.size()));
        Raw(s.data(), s.size());
    }
    void Floats(const std::vector<float>& values)
    {
        U32(static_cast<uint32_t>(values.size()));
        for (float v : values)
            F32(v);
    }
    // A parameter's text: one string, or an array of strings' as a list.
    void Strings(const EffectParameter& p)
    {
        if (p.type != EffectParameterType::String || p.arraySize == 0) {
            Str(p.strings.empty() ? std::string() : p.strings[0]);
            return;
        }
        U32(static_cast<uint32_t>(p.strings.size()));
        for (const std::string& s : p.strings)
            Str(s);
    }
    void Annotations(const std::vector<EffectAnnotation>& list)
    {
        U32(static_cast<uint32_t>(list.size()));
        for (const EffectAnnotation& a : list) {
            Str(a.type);
            Str(a.name);
            Floats(a.values);
            Str(a.text);
        }
    }
    void States(const std::vector<EffectState>& list)
    {
        U32(static_cast<uint32_t>(list.size()));
        for (const EffectState& s : list) {
            Str(s.name);
            I32(s.index);
            Str(s.value);
        }
    }
    // The type, rows, columns and array size of a parameter or struct member.
    template <class T>
    void Shape(const T& v)
    {
        U8(static_cast<uint8_t>(v.type));
        U8(v.rows);
        U8(v.columns);
        U32(v.arraySize);
    }
    void Shader(const EffectShader& s)
    {
        Str(s.profile);
        Str(s.entry);
        Str(s.arguments);
    }
    void Bytes(const std::vector<uint8_t>& bytes)
    {
        U32(static_cast<uint32_t>(bytes.size()));
        Raw(bytes.data(), bytes.size());
    }
    void Assignments(const std::vector<StateAssignment>& list)
    {
        U32(static_cast<uint32_t>(list.size()));
        for (const StateAssignment& a : list) {
            U8(static_cast<uint8_t>(a.group));
            U32(a.number);
            U32(a.index);
            U8(static_cast<uint8_t>(a.source));
            U32(static_cast<uint32_t>(a.words.size()));
            for (uint32_t word : a.words)
                U32(word);
            Str(a.parameter);
            Bytes(a.expression);
        }
    }
    void Choice(const EffectShaderChoice& c)
    {
        Str(c.array);
        U32(static_cast<uint32_t>(c.elements.size()));
        for (const EffectShader& e : c.elements)
            Shader(e);
        Bytes(c.index);
    }
    void Codes(const std::vector<EffectCode>& list)
    {
        U32(static_cast<uint32_t>(list.size()));
        for (const EffectCode& c : list) {
            Str(c.name);
            Str(c.text);
        }
    }
    void Stage(const ShaderStageCode& stage)
    {
        U32(static_cast<uint32_t>(stage.spirv.size()));
        if constexpr (std::endian::native == std::endian::little) {
            Raw(stage.spirv.data(), stage.spirv.size() * sizeof(uint32_t));
        } else {
            for (uint32_t word : stage.spirv)
                U32(word);
        }
        Str(stage.glsl);
    }
    // A program shared with a pass before is written whole only the first time.
    void Program(const SharedProgram& program)
    {
        if (const PassProgram* held = program.Held()) {
            const auto [at, first] = numbers_.try_emplace(held, whole_);
            if (!first) {
                U32(kProgramWrittenBefore);
                U32(at->second);
                return;
            }
        }
        ++whole_;
        Whole(*program);
    }
    void Whole(const PassProgram& p)
    {
        Stage(p.vertex);
        Stage(p.pixel);
        U32(p.uniformBytes);
        U32(static_cast<uint32_t>(p.uniforms.size()));
        for (const UniformField& f : p.uniforms) {
            Str(f.name);
            U8(static_cast<uint8_t>(f.kind));
            U8(f.rows);
            U8(f.columns);
            U8(f.columnMajor ? 1 : 0);
            U32(f.offset);
            U32(f.elements);
            U32(f.arrayStride);
            U32(f.matrixStride);
            U32(f.first);
        }
        U32(static_cast<uint32_t>(p.samplers.size()));
        for (const SamplerSlot& s : p.samplers) {
            Str(s.name);
            Str(s.texture);
            U32(s.unit);
            U8(static_cast<uint8_t>(s.dimension));
        }
        U32(static_cast<uint32_t>(p.vertexInputs.size()));
        for (const VertexInput& input : p.vertexInputs)
            U32(PackVertexInput(input));
    }
    std::vector<uint8_t> Take() { return out_.Take(); }

private:
    bool Room(size_t bytes)
    {
        counted_ += bytes;
        return keep_ && Fits();
    }

    platform::ByteWriter out_;
    uint64_t most_;
    bool keep_;
    uint64_t counted_ = 0;
    std::unordered_map<const PassProgram*, uint32_t> numbers_; // of the programs written whole
    uint32_t whole_ = 0;
};

// The fewest bytes an item of each list takes in the payload, every string
// and list in it empty: a list's count is held to the bytes left before the
// list is made, so a count no file could back costs nothing.
constexpr size_t kWordBytes = 4; // a number, an empty string or an empty list
constexpr size_t kShapeBytes = 3 + kWordBytes;
constexpr size_t kAnnotationBytes = 4 * kWordBytes;
constexpr size_t kStateBytes = 3 * kWordBytes;
constexpr size_t kAssignmentBytes = 2 + 5 * kWordBytes;
constexpr size_t kShaderBytes = 3 * kWordBytes;
constexpr size_t kChoiceBytes = 3 * kWordBytes;
constexpr size_t kCodeBytes = 2 * kWordBytes;
constexpr size_t kUniformBytes = 4 + 6 * kWordBytes;
constexpr size_t kSamplerBytes = 1 + 3 * kWordBytes;
constexpr size_t kProgramBytes = 2 * kWordBytes; // one written before, by its number
constexpr size_t kParameterBytes = kShapeBytes + 9 * kWordBytes;
constexpr size_t kMemberBytes = kShapeBytes + 2 * kWordBytes;
constexpr size_t kStructBytes = 2 * kWordBytes;
constexpr size_t kTechniqueBytes = 3 * kWordBytes;
constexpr size_t kPassBytes = 5 * kWordBytes + 2 * kShaderBytes + kProgramBytes + 2 * kChoiceBytes;
constexpr size_t kBoundSamplerBytes = 2 * kWordBytes;

// The payload's items on top of the checked byte reader, with the first
// problem kept as the message.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : in_(data, size) {}

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    bool AtEnd() const { return in_.AtEnd(); }

    uint8_t U8() { return Checked(in_.U8()); }
    uint32_t U32() { return Checked(in_.U32()); }
    int32_t I32() { return Checked(in_.I32()); }
    float F32() { return Checked(in_.F32()); }
    std::string Str()
    {
        const uint32_t length = U32();
        return std::string(Checked(in_.Chars(length)));
    }
    // A list count, checked against the bytes left (each item takes at least
    // `minItemSize` bytes), so a damaged count cannot ask for a huge allocation.
    uint32_t Count(size_t minItemSize)
    {
        uint32_t n = U32();
        if (ok() && uint64_t(n) * minItemSize > in_.Remaining()) {
            Fail("a count runs past the end of the file");
            return 0;
        }
        return n;
    }
    std::vector<float> Floats()
    {
        std::vector<float> values(Count(kWordBytes));
        for (float& v : values)
            v = F32();
        return values;
    }
    std::vector<std::string> Strings(const EffectParameter& p)
    {
        if (p.type != EffectParameterType::String || p.arraySize == 0) {
            std::string s = Str();
            return s.empty() ? std::vector<std::string>() : std::vector<std::string>{std::move(s)};
        }
        std::vector<std::string> list(Count(kWordBytes));
        for (std::string& s : list)
            s = Str();
        return list;
    }
    std::vector<EffectAnnotation> Annotations()
    {
        std::vector<EffectAnnotation> list(Count(kAnnotationBytes));
        for (EffectAnnotation& a : list) {
            a.type = Str();
            a.name = Str();
            a.values = Floats();
            a.text = Str();
        }
        return list;
    }
    std::vector<EffectState> States()
    {
        std::vector<EffectState> list(Count(kStateBytes));
        for (EffectState& s : list) {
            s.name = Str();
            s.index = I32();
            s.value = Str();
        }
        return list;
    }
    // What Writer::Shape wrote; `what` names the item of an unknown type.
    template <class T>
    void Shape(T& v, const char* what)
    {
        const uint8_t type = U8();
        if (type >= kEffectParameterTypeCount)
            Fail(std::string(what) + " has an unknown type");
        v.type = static_cast<EffectParameterType>(type < kEffectParameterTypeCount ? type : 0);
        v.rows = U8();
        v.columns = U8();
        v.arraySize = U32();
    }
    EffectShader Shader()
    {
        EffectShader s;
        s.profile = Str();
        s.entry = Str();
        s.arguments = Str();
        return s;
    }
    std::vector<uint8_t> Bytes()
    {
        const std::span<const uint8_t> bytes = Checked(in_.Bytes(U32()));
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }
    std::vector<StateAssignment> Assignments()
    {
        std::vector<StateAssignment> list(Count(kAssignmentBytes));
        for (StateAssignment& a : list) {
            const uint8_t group = U8();
            a.number = U32();
            a.index = U32();
            const uint8_t source = U8();
            if (group > static_cast<uint8_t>(StateGroup::Fvf) || source >= kStateSourceCount)
                Fail("a state has an unknown kind");
            a.group = static_cast<StateGroup>(group);
            a.source = static_cast<StateAssignment::Source>(source);
            a.words.resize(Count(kWordBytes));
            for (uint32_t& word : a.words)
                word = U32();
            a.parameter = Str();
            a.expression = Bytes();
            if (ok()) {
                const std::string problem = CheckStateAssignment(a);
                if (!problem.empty())
                    Fail(problem);
            }
            if (!ok())
                break;
        }
        return list;
    }
    EffectShaderChoice Choice()
    {
        EffectShaderChoice c;
        c.array = Str();
        c.elements.resize(Count(kShaderBytes));
        for (EffectShader& e : c.elements)
            e = Shader();
        c.index = Bytes();
        return c;
    }
    std::vector<EffectCode> Codes()
    {
        std::vector<EffectCode> list(Count(kCodeBytes));
        for (EffectCode& c : list) {
            c.name = Str();
            c.text = Str();
        }
        return list;
    }
    // The units each sampler of the programs read from here on takes, which
    // the file does not keep: from the parameters' table, read by then.
    void GiveUnits(const std::vector<EffectParameter>& parameters)
    {
        parameters_ = &parameters;
        for (size_t i = 0; i < parameters.size(); ++i)
            byName_.Add(parameters[i].name, static_cast<uint32_t>(i));
    }
    // A program, or one read whole before it, shared.
    SharedProgram Program()
    {
        if (in_.Remaining() >= kWordBytes && in_.U32At(in_.Position()) == kProgramWrittenBefore) {
            U32();
            const uint32_t number = U32();
            if (number < whole_.size())
                return whole_[number];
            Fail("a program names none written before it");
            return {};
        }
        PassProgram program = Whole();
        for (SamplerSlot& slot : program.samplers) {
            const uint32_t found = parameters_ ? byName_.Find(slot.name) : NameTable::kNone;
            slot.units = found == NameTable::kNone ? 1 : std::max<uint32_t>((*parameters_)[found].arraySize, 1);
        }
        whole_.emplace_back(std::move(program));
        return whole_.back();
    }
    ShaderStageCode Stage()
    {
        ShaderStageCode stage;
        stage.spirv.resize(Count(kWordBytes));
        for (uint32_t& word : stage.spirv)
            word = U32();
        stage.glsl = Str();
        return stage;
    }
    PassProgram Whole()
    {
        PassProgram p;
        p.vertex = Stage();
        p.pixel = Stage();
        p.uniformBytes = U32();
        if (p.uniformBytes > kMaxUniformBlockBytes)
            Fail("a pass's uniform block is too large");
        p.uniforms.resize(Count(kUniformBytes));
        for (UniformField& f : p.uniforms) {
            f.name = Str();
            const uint8_t kind = U8();
            if (kind > static_cast<uint8_t>(UniformKind::Bool))
                Fail("a uniform has an unknown kind");
            f.kind = static_cast<UniformKind>(kind);
            f.rows = U8();
            f.columns = U8();
            const uint8_t columnMajor = U8();
            if (columnMajor > 1)
                Fail("a uniform's order is neither by rows nor by columns");
            f.columnMajor = columnMajor != 0;
            f.offset = U32();
            f.elements = U32();
            f.arrayStride = U32();
            f.matrixStride = U32();
            f.first = U32();
            if (ok() && !UniformFieldFits(f, p.uniformBytes))
                Fail("a uniform lies outside its block");
        }
        p.samplers.resize(Count(kSamplerBytes));
        for (SamplerSlot& s : p.samplers) {
            s.name = Str();
            s.texture = Str();
            s.unit = U32();
            const uint8_t dimension = U8();
            if (s.unit >= kMaxSamplerUnits || dimension > static_cast<uint8_t>(SamplerDimension::Cube))
                Fail("a sampler has an unknown unit or kind");
            s.dimension = static_cast<SamplerDimension>(dimension);
        }
        p.vertexInputs.resize(Count(kWordBytes));
        for (VertexInput& input : p.vertexInputs)
            if (!UnpackVertexInput(U32(), input))
                Fail("a vertex input has an unknown location or usage");
        return p;
    }
    void Fail(const std::string& why)
    {
        if (error_.empty())
            error_ = why;
        in_.Fail();
    }

private:
    template <class T> T Checked(T value)
    {
        if (!in_.Ok())
            Fail("the file ends too early");
        return value;
    }

    platform::ByteReader in_;
    std::string error_;
    const std::vector<EffectParameter>* parameters_ = nullptr;
    NameTable byName_;                 // of *parameters_
    std::vector<SharedProgram> whole_; // the programs read whole, in order
};

uint32_t Checksum(const uint8_t* data, size_t size)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (size > 0) {
        uInt chunk = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<uint32_t>(crc);
}

} // namespace

bool LooksLikeCompiledEffect(const void* data, size_t size)
{
    return data != nullptr && size >= sizeof kCompiledEffectMagic &&
           std::memcmp(data, kCompiledEffectMagic, sizeof kCompiledEffectMagic) == 0;
}

namespace {

// The payload of `d` through `w`.
void WritePayload(const EffectDescription& d, Writer& w)
{
    w.U32(static_cast<uint32_t>(d.defines.size()));
    for (const std::string& define : d.defines)
        w.Str(define);
    w.U32(static_cast<uint32_t>(d.parameters.size()));
    for (const EffectParameter& p : d.parameters) {
        w.Str(p.name);
        w.Shape(p);
        w.Str(p.semantic);
        w.Str(p.structName);
        w.Floats(p.defaults);
        w.Strings(p);
        w.Annotations(p.annotations);
        w.Str(p.samplerTexture);
        w.States(p.samplerStates);
        w.Assignments(p.samplerAssignments);
    }
    w.U32(static_cast<uint32_t>(d.structTypes.size()));
    for (const EffectStructType& type : d.structTypes) {
        w.Str(type.name);
        w.U32(static_cast<uint32_t>(type.members.size()));
        for (const EffectMember& m : type.members) {
            w.Str(m.name);
            w.Shape(m);
            w.Str(m.structName);
        }
    }
    w.U32(static_cast<uint32_t>(d.techniques.size()));
    for (const EffectTechnique& t : d.techniques) {
        w.Str(t.name);
        w.Annotations(t.annotations);
        w.U32(static_cast<uint32_t>(t.passes.size()));
        for (const EffectPass& pass : t.passes) {
            w.Str(pass.name);
            w.Annotations(pass.annotations);
            w.States(pass.states);
            w.Shader(pass.vertexShader);
            w.Shader(pass.pixelShader);
            w.Program(pass.program);
            w.Assignments(pass.assignments);
            w.Choice(pass.vertexChoice);
            w.Choice(pass.pixelChoice);
            w.U32(static_cast<uint32_t>(pass.choicePrograms.size()));
            for (const SharedProgram& program : pass.choicePrograms)
                w.Program(program);
        }
    }
    w.Codes(d.structs);
    w.Codes(d.functions);
    // The samplers bound by register, after the rest and only when there are
    // any: an effect without them is written as before.
    uint32_t bound = 0;
    for (const EffectParameter& p : d.parameters)
        bound += p.samplerRegister >= 0 ? 1 : 0;
    if (bound > 0) {
        w.U32(bound);
        for (size_t i = 0; i < d.parameters.size(); ++i) {
            if (d.parameters[i].samplerRegister < 0)
                continue;
            w.U32(static_cast<uint32_t>(i));
            w.U32(static_cast<uint32_t>(d.parameters[i].samplerRegister));
        }
    }
}

} // namespace

namespace detail {
std::atomic<uint64_t>& CompiledEffectBytesOverride()
{
    static std::atomic<uint64_t> bytes{0};
    return bytes;
}
} // namespace detail

uint64_t MaxCompiledEffectBytes()
{
    const uint64_t override = detail::CompiledEffectBytesOverride().load();
    return override > 0 ? override : kMaxCompiledEffectBytes;
}

uint64_t CompiledEffectBytes(const EffectDescription& description)
{
    Writer counted(~uint64_t{0}, false);
    WritePayload(description, counted);
    return kHeaderSize + counted.Counted();
}

std::vector<uint8_t> WriteCompiledEffect(const EffectDescription& d)
{
    const uint64_t most = MaxCompiledEffectBytes();
    Writer w(most > kHeaderSize ? most - kHeaderSize : 0);
    WritePayload(d, w);
    if (!w.Fits())
        return {};
    const std::vector<uint8_t> payload = w.Take();
    platform::ByteWriter file;
    file.Bytes(kCompiledEffectMagic, sizeof kCompiledEffectMagic);
    file.U32(kCompiledEffectVersion);
    file.U32(static_cast<uint32_t>(payload.size()));
    file.U32(Checksum(payload.data(), payload.size()));
    file.Bytes(payload);
    return file.Take();
}

bool ReadCompiledEffect(const void* data, size_t size, EffectDescription& out, std::string& error)
{
    if (!LooksLikeCompiledEffect(data, size)) {
        error = "not a compiled effect";
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size < kHeaderSize) {
        error = "the file ends too early";
        return false;
    }
    platform::ByteReader header(bytes, kHeaderSize);
    header.Skip(sizeof kCompiledEffectMagic);
    const uint32_t version = header.U32();
    const uint32_t payloadSize = header.U32();
    const uint32_t checksum = header.U32();
    if (version != kCompiledEffectVersion) {
        error = "unsupported compiled effect version " + std::to_string(version);
        return false;
    }
    if (payloadSize != size - kHeaderSize) {
        error = "the file size does not match its header";
        return false;
    }
    const uint8_t* payload = bytes + kHeaderSize;
    if (Checksum(payload, payloadSize) != checksum) {
        error = "the file is damaged (checksum mismatch)";
        return false;
    }

    Reader r(payload, payloadSize);
    EffectDescription d;
    d.defines.resize(r.Count(kWordBytes));
    for (std::string& define : d.defines)
        define = r.Str();
    d.parameters.resize(r.Count(kParameterBytes));
    for (EffectParameter& p : d.parameters) {
        p.name = r.Str();
        r.Shape(p, "a parameter");
        p.semantic = r.Str();
        p.structName = r.Str();
        p.defaults = r.Floats();
        p.strings = r.Strings(p);
        p.annotations = r.Annotations();
        p.samplerTexture = r.Str();
        p.samplerStates = r.States();
        p.samplerAssignments = r.Assignments();
        if (!r.ok())
            break;
    }
    r.GiveUnits(d.parameters);
    d.structTypes.resize(r.Count(kStructBytes));
    for (EffectStructType& type : d.structTypes) {
        type.name = r.Str();
        type.members.resize(r.Count(kMemberBytes));
        for (EffectMember& m : type.members) {
            m.name = r.Str();
            r.Shape(m, "a struct member");
            m.structName = r.Str();
        }
        if (!r.ok())
            break;
    }
    d.techniques.resize(r.Count(kTechniqueBytes));
    for (EffectTechnique& t : d.techniques) {
        t.name = r.Str();
        t.annotations = r.Annotations();
        t.passes.resize(r.Count(kPassBytes));
        for (EffectPass& pass : t.passes) {
            pass.name = r.Str();
            pass.annotations = r.Annotations();
            pass.states = r.States();
            pass.vertexShader = r.Shader();
            pass.pixelShader = r.Shader();
            pass.program = r.Program();
            pass.assignments = r.Assignments();
            pass.vertexChoice = r.Choice();
            pass.pixelChoice = r.Choice();
            pass.choicePrograms.resize(r.Count(kProgramBytes));
            for (SharedProgram& program : pass.choicePrograms)
                program = r.Program();
            if (!r.ok())
                break;
        }
        if (!r.ok())
            break;
    }
    d.structs = r.Codes();
    d.functions = r.Codes();
    if (r.ok() && !r.AtEnd()) {
        const uint32_t bound = r.Count(kBoundSamplerBytes);
        // The compiler writes the list only when it holds one, in the order of the parameters.
        if (r.ok() && bound == 0)
            r.Fail("an empty list of samplers bound by register");
        for (uint32_t k = 0, previous = 0; k < bound && r.ok(); ++k) {
            const uint32_t i = r.U32();
            const uint32_t unit = r.U32();
            if (k > 0 && i <= previous)
                r.Fail("the samplers bound by register are not in the order of the parameters");
            else if (i >= d.parameters.size() || !IsSamplerType(d.parameters[i].type) || unit > kMaxSamplerRegister ||
                     std::max<uint32_t>(d.parameters[i].arraySize, 1) > kMaxSamplerRegister + 1 - unit)
                r.Fail("a sampler register names no sampler or is out of range");
            else
                d.parameters[i].samplerRegister = static_cast<int32_t>(unit);
            previous = i;
        }
    }
    if (r.ok() && !r.AtEnd())
        r.Fail("unexpected bytes after the effect");
    if (!r.ok()) {
        error = r.error();
        return false;
    }
    std::string problem = CheckCompiledEffect(d);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    out = std::move(d);
    return true;
}

std::vector<uint8_t> WritePassProgram(const PassProgram& program)
{
    Writer w;
    w.Whole(program);
    return w.Take();
}

bool ReadPassProgram(const void* data, size_t size, PassProgram& out, std::string& error)
{
    Reader r(static_cast<const uint8_t*>(data), size);
    PassProgram program = r.Whole();
    if (r.ok() && !r.AtEnd())
        r.Fail("unexpected bytes after the program");
    if (!r.ok()) {
        error = r.error();
        return false;
    }
    out = std::move(program);
    return true;
}

} // namespace gfx
