#include "platform/gfx/fx/rewrites/vector_arguments.h"

#include <algorithm>
#include <utility>

namespace gfx {

std::string VectorOverload(std::string_view text, const std::vector<Token>& tokens, const FunctionHead& head,
                           const std::vector<bool>& kept)
{
    static constexpr std::pair<std::string_view, std::string_view> kScalars[] = {
        {"float", "float2"}, {"half", "half2"}, {"double", "double2"}, {"int", "int2"},
        {"uint", "uint2"},   {"dword", "uint2"}, {"bool", "bool2"}};
    constexpr size_t kNone = FunctionParameter::kNone;
    // Tokens [first, last) as written, one blank between each.
    const auto written = [&](size_t first, size_t last) {
        std::string out;
        for (size_t k = first; k < last && k < tokens.size(); ++k)
            out.append(k > first ? " " : "").append(text.substr(tokens[k].offset, tokens[k].text.size()));
        return out;
    };
    struct Parameter {
        std::string declared; // without its default
        std::string argument; // what the overload passes on for it
        bool vector = false;
        bool defaulted = false;
    };
    std::vector<Parameter> list;
    for (size_t i = 0; i < head.parameters.size(); ++i) {
        const FunctionParameter& p = head.parameters[i];
        if (i < kept.size() && !kept[i])
            continue;
        if (p.name == kNone)
            return {};
        Parameter out{written(p.first, p.arrayClose != kNone ? p.arrayClose + 1 : p.name + 1),
                      std::string(tokens[p.name].text), false, p.defaultBegin != kNone};
        if ((p.direction == HlslDirection::Unsaid || p.direction == HlslDirection::In) && p.arrayOpen == kNone &&
            p.typeEnd == p.typeBegin + 1)
            for (const auto& [scalar, vector] : kScalars)
                if (tokens[p.typeBegin].Is(scalar)) {
                    out.vector = true;
                    out.declared = written(p.first, p.typeBegin) + (p.first < p.typeBegin ? " " : "") +
                                   std::string(vector) + " " + std::string(kVectorParameterPrefix) + out.argument;
                    out.argument = std::string(kVectorParameterPrefix) + out.argument + ".x";
                }
        list.push_back(std::move(out));
    }
    // An overload for each count of arguments a call may give, without
    // defaults: a call the function takes gives a scalar for one of its
    // vectors, and the function wins it. At most kMostOverloads, all the
    // arguments first, then the fewest: what it writes grows with the head.
    constexpr size_t kMostOverloads = 8;
    const std::string name(tokens[head.name].text);
    const std::string type = written(head.typeBegin, head.typeEnd);
    const bool returns = !(head.typeEnd == head.typeBegin + 1 && tokens[head.typeBegin].Is("void"));
    size_t required = 0;
    while (required < list.size() && !list[required].defaulted)
        ++required;
    size_t firstVector = 0;
    while (firstVector < list.size() && !list[firstVector].vector)
        ++firstVector;
    if (firstVector == list.size())
        return {};
    std::vector<size_t> counts = {list.size()};
    for (size_t count = std::max(required, firstVector + 1); count < list.size() && counts.size() < kMostOverloads;
         ++count)
        counts.push_back(count);
    std::string out;
    for (size_t count : counts) {
        std::string parameters, arguments;
        for (size_t i = 0; i < count; ++i) {
            parameters += (i > 0 ? ", " : "") + list[i].declared;
            arguments += (i > 0 ? ", " : "") + list[i].argument;
        }
        out += (out.empty() ? "" : " ") + type + " " + name + "(" + parameters + ") { " + (returns ? "return " : "") +
               name + "(" + arguments + "); }";
    }
    return out;
}

} // namespace gfx
