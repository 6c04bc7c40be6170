// Reading an entry function's parameters, result and structs into the values at
// the stage's boundary (declared in hlsl/shader_boundary.h).
#include "platform/gfx/fx/hlsl/shader_boundary.h"

#include <algorithm>

#include "platform/gfx/fx/syntax/function_head.h"

namespace gfx {

namespace shader_entry_parts {

std::string Join(const std::vector<Token>& tokens, size_t first, size_t last)
{
    std::string out;
    for (size_t i = first; i < last && i < tokens.size(); ++i) {
        if (!out.empty())
            out += ' ';
        out += tokens[i].text;
    }
    return out;
}

} // namespace shader_entry_parts

using namespace shader_entry_parts;

namespace {

Shape ShapeOf(const std::string& type, const Tables& tables)
{
    Shape shape;
    shape.text = type;
    if (const auto found = tables.structs.find(type); found != tables.structs.end()) {
        shape.structIndex = found->second;
        shape.known = true;
        return shape;
    }
    static const char* kBases[] = {"float", "half", "double", "int", "uint", "bool", "dword", "min16float", "min10float"};
    for (const char* base : kBases) {
        const std::string b(base);
        if (type.compare(0, b.size(), b) != 0)
            continue;
        const std::string rest = type.substr(b.size());
        auto dim = [](char c) { return c >= '1' && c <= '4'; };
        if (rest.empty()) {
            shape.known = true;
        } else if (rest.size() == 1 && dim(rest[0])) {
            shape.columns = rest[0] - '0';
            shape.known = true;
        } else if (rest.size() == 3 && dim(rest[0]) && rest[1] == 'x' && dim(rest[2])) {
            shape.rows = rest[0] - '0';
            shape.columns = rest[2] - '0';
            shape.known = true;
        }
        if (shape.known)
            return shape;
    }
    // vector<float, N> and matrix<float, R, C>, joined with blanks by Join.
    std::vector<int> numbers;
    for (char c : type)
        if (c >= '1' && c <= '4')
            numbers.push_back(c - '0');
    if (type.rfind("vector", 0) == 0) {
        shape.columns = numbers.empty() ? 4 : numbers.back();
        shape.known = true;
    } else if (type.rfind("matrix", 0) == 0) {
        shape.rows = numbers.size() >= 2 ? numbers[numbers.size() - 2] : 4;
        shape.columns = numbers.empty() ? 4 : numbers.back();
        shape.known = true;
    }
    return shape;
}

// A parameter or member as the one reader of heads found it.
Variable VariableOf(const std::vector<Token>& tokens, const FunctionParameter& p)
{
    Variable v;
    v.in = p.direction != HlslDirection::Out;
    v.out = p.direction == HlslDirection::Out || p.direction == HlslDirection::InOut;
    v.uniform = p.uniform;
    v.flat = p.flat;
    v.type = Join(tokens, p.typeBegin, p.typeEnd);
    if (p.name != FunctionParameter::kNone)
        v.name = std::string(tokens[p.name].text);
    if (p.arrayOpen != FunctionParameter::kNone) {
        v.array = true;
        v.elements = -1;
        const size_t size = p.arrayOpen + 1;
        if (p.arrayClose == size + 1 && tokens[size].kind == TokenKind::Number) {
            const std::string_view n = tokens[size].text;
            if (n.size() <= 6 && std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; }))
                v.elements = std::stoi(std::string(n));
        }
    }
    if (p.semantic != FunctionParameter::kNone)
        v.semantic = std::string(tokens[p.semantic].text);
    if (p.defaultBegin != FunctionParameter::kNone)
        v.initial = Join(tokens, p.defaultBegin, p.last);
    return v;
}

bool ParseSignature(const std::string& text, Signature& out)
{
    TokenProblem stopped; // a close signal stops a long function's reading
    const std::vector<Token> tokens = Tokenize(text, &stopped);
    FunctionHead head;
    if (!ReadFunctionHead(tokens, 0, head))
        return false;
    out.returnType = Join(tokens, head.typeBegin, head.typeEnd);
    out.name = std::string(tokens[head.name].text);
    for (const FunctionParameter& p : head.parameters)
        out.parameters.push_back(VariableOf(tokens, p));
    if (head.semantic != FunctionHead::kNone)
        out.semantic = std::string(tokens[head.semantic].text);
    return true;
}

std::vector<Variable> StructMembers(const EffectCode& code)
{
    std::vector<Variable> members;
    TokenProblem stopped;
    const std::vector<Token> tokens = Tokenize(code.text, &stopped);
    size_t open = 0;
    while (open < tokens.size() && !tokens[open].Is('{'))
        ++open;
    const size_t close = MatchingBracket(tokens, open);
    size_t start = open + 1;
    for (size_t i = open + 1; i < close && i < tokens.size(); ++i) {
        if (tokens[i].Is(';')) {
            if (i > start)
                members.push_back(VariableOf(tokens, ReadVariable(tokens, start, i, kModifiesMember)));
            start = i + 1;
        }
    }
    return members;
}

} // namespace

const Tables::Read& Tables::SignatureOf(size_t function)
{
    Read& read = signatures[function];
    if (!read.done) {
        read.done = true;
        read.ok = ParseSignature(effect.functions[function].text, read.signature);
    }
    return read;
}

const std::vector<Token>& Tables::BodyOf(size_t function)
{
    std::optional<std::vector<Token>>& body = bodies[function];
    if (!body) {
        TokenProblem stopped;
        const std::string& text = effect.functions[function].text;
        std::vector<Token> tokens = Tokenize(text, &stopped);
        const auto open = std::find_if(tokens.begin(), tokens.end(), [](const Token& t) { return t.Is('{'); });
        body.emplace(open, tokens.end());
    }
    return *body;
}

const std::vector<Variable>& Tables::MembersOf(size_t structIndex)
{
    std::optional<std::vector<Variable>>& list = members[structIndex];
    if (!list)
        list = StructMembers(effect.structs[structIndex]);
    return *list;
}

namespace shader_entry_parts {
namespace {

std::vector<std::string> SplitArguments(const std::string& arguments)
{
    std::vector<std::string> out;
    int depth = 0;
    std::string current;
    for (char c : arguments) {
        if (c == '(' || c == '[' || c == '{')
            ++depth;
        if (c == ')' || c == ']' || c == '}')
            --depth;
        if (c == ',' && depth == 0) {
            out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (arguments.find_first_not_of(" \t\r\n") != std::string::npos)
        out.push_back(current);
    return out;
}

// Structures nest at most this deep between the stages (one that holds itself
// would nest without end), and one parameter or result holds at most this many
// values and structures, more than a stage can take.
constexpr int kMaxStructNesting = 16;
constexpr size_t kMaxFlattened = 256;

// Every value with a semantic inside `v` (itself, or the members of its struct).
bool Flatten(Tables& tables, const std::string& access, const std::string& read, const std::string& type,
             const std::string& semantic, int elements, std::vector<Leaf>& leaves, std::string& error,
             bool flat = false, int nesting = 0, size_t* visited = nullptr)
{
    size_t count = 0;
    if (!visited)
        visited = &count;
    if (++*visited > kMaxFlattened) {
        error = "'" + read + "': too many values to pass between stages";
        return false;
    }
    Shape shape = ShapeOf(type, tables);
    if (!shape.known || elements < 0 || (elements > 0 && shape.structIndex != kNoStruct)) {
        error = "'" + read + "' of type '" + type + (elements != 0 ? "[]" : "") + "' cannot pass between stages";
        return false;
    }
    if (elements > 0) {
        // Each element at the semantic's index after the one before, a
        // matrix's rows each at one of their own.
        if (semantic.empty()) {
            error = "'" + read + "' has no semantic";
            return false;
        }
        const Semantic first = SplitSemantic(semantic);
        for (int e = 0; e < elements; ++e) {
            if (++*visited > kMaxFlattened) {
                error = "'" + read + "': too many values to pass between stages";
                return false;
            }
            Semantic at = first;
            at.index += static_cast<uint32_t>(e * shape.rows);
            const std::string index = "[" + std::to_string(e) + "]";
            leaves.push_back({access + index, shape, at, at.name + std::to_string(at.index), flat,
                              IsCentroidSemantic(semantic), read});
        }
        return true;
    }
    if (shape.structIndex != kNoStruct) {
        if (nesting >= kMaxStructNesting) {
            error = "'" + read + "': structures nested too deeply (does '" + type + "' hold itself?)";
            return false;
        }
        for (const Variable& m : tables.MembersOf(shape.structIndex))
            if (!Flatten(tables, access + "." + m.name, read + "." + m.name, m.type, m.semantic, m.elements, leaves,
                         error, flat || m.flat, nesting + 1, visited))
                return false;
        return true;
    }
    if (semantic.empty()) {
        error = "'" + read + "' has no semantic";
        return false;
    }
    leaves.push_back({access, shape, SplitSemantic(semantic), semantic, flat, IsCentroidSemantic(semantic), read});
    return true;
}

} // namespace

bool FindEntry(Tables& tables, const EffectShader& shader, Signature& out, std::vector<std::string>& arguments,
               std::string& error)
{
    arguments = SplitArguments(shader.arguments);
    const auto named = tables.functions.find(shader.entry);
    const bool found = named != tables.functions.end();
    for (size_t i : found ? named->second : std::vector<size_t>{}) {
        const Tables::Read& read = tables.SignatureOf(i);
        if (!read.ok)
            continue;
        // The arguments go to the uniform parameters in order; those after
        // them take their default values.
        size_t uniforms = 0;
        size_t needed = 0;
        for (const Variable& p : read.signature.parameters) {
            uniforms += p.uniform ? 1 : 0;
            if (p.uniform && p.initial.empty())
                needed = uniforms;
        }
        if (arguments.size() <= uniforms && arguments.size() >= needed) {
            out = read.signature;
            out.function = i;
            return true;
        }
    }
    error = found ? "'" + shader.entry + "': the " + std::to_string(arguments.size()) +
                        " arguments do not match its uniform parameters"
                  : "undeclared entry point '" + shader.entry + "'";
    return false;
}

namespace {

// Each place the body names `path`'s parameter, told to `found`: true where
// the path is named to its end, false where it stops at the parameter or a
// struct around the value, used whole (a member of another name reads
// another value, and is not told). True at the first place `found` takes.
template <class Found> bool Named(const std::vector<Token>& body, const std::string& path, Found found)
{
    std::vector<std::string_view> parts;
    for (size_t from = 0; from <= path.size();) {
        const size_t dot = std::min(path.find('.', from), path.size());
        std::string_view part = std::string_view(path).substr(from, dot - from);
        part = part.substr(0, part.find('['));
        parts.push_back(part);
        from = dot + 1;
    }
    for (size_t i = 0; i < body.size(); ++i) {
        if (!MayNameDeclaration(body, i) || body[i].text != parts[0])
            continue;
        size_t matched = 1;
        for (size_t k = i + 1; matched < parts.size() && k + 1 < body.size() && body[k].Is('.') &&
                               body[k + 1].text == parts[matched];
             k += 2)
            ++matched;
        const size_t next = i + 2 * matched - 1;
        if (matched == parts.size() ? found(true) : !(next < body.size() && body[next].Is('.')) && found(false))
            return true;
    }
    return false;
}

} // namespace

bool Reads(const std::vector<Token>& body, const std::string& path)
{
    return Named(body, path, [](bool named) { return named; });
}

bool MayRead(const std::vector<Token>& body, const std::string& path)
{
    return Named(body, path, [](bool) { return true; });
}

bool PrepareCall(Tables& tables, const Signature& s, const std::vector<std::string>& arguments,
                 Call& out, std::string& error)
{
    size_t argument = 0;
    std::string args;
    for (size_t k = 0; k < s.parameters.size(); ++k) {
        const Variable& p = s.parameters[k];
        if (!args.empty())
            args += ", ";
        if (p.uniform) {
            const std::string value = "(" + (argument < arguments.size() ? arguments[argument] : p.initial) + ")";
            // Converted to the parameter's type as a call's argument is (a
            // vector cut, a number spread), which the front end does not do
            // for a uniform parameter.
            const Shape shape = ShapeOf(p.type, tables);
            args += shape.known && shape.structIndex == kNoStruct && !p.array ? "(" + p.type + ")" + value : value;
            ++argument;
            continue;
        }
        const std::string local = "zl_p" + std::to_string(k);
        // An array's elements are each given or written: it starts without a value.
        out.locals += "    " + p.type + " " + local +
                      (p.elements > 0 ? "[" + std::to_string(p.elements) + "];\n" : " = (" + p.type + ")0;\n");
        args += local;
        if (p.in && !Flatten(tables, local, p.name, p.type, p.semantic, p.elements, out.inputs, error, p.flat))
            return false;
        if (p.out && !Flatten(tables, local, p.name, p.type, p.semantic, p.elements, out.outputs, error, p.flat))
            return false;
    }
    out.call = s.name + "(" + args + ")";
    if (s.returnType != "void" && !Flatten(tables, "zl_r", s.name, s.returnType, s.semantic, 0, out.outputs, error))
        return false;
    return true;
}

} // namespace shader_entry_parts

} // namespace gfx
