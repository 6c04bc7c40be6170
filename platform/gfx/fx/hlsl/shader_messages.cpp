// The shader compiler's messages in the platform compiler's words: its errors
// at the author's file and line, and the warnings the platform gives.
#include "platform/gfx/fx/hlsl/shader_messages.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <unordered_map>

#include <glslang/MachineIndependent/localintermediate.h>

#include "platform/gfx/fx/rewrites/constructor_targets.h"
#include "platform/gfx/fx/rewrites/one_dimensional_lookups.h"
#include "platform/gfx/fx/rewrites/vector_arguments.h"
#include "platform/gfx/fx/syntax/constructor_target.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/window/close_check.h"

namespace gfx {

namespace {

// A write to a global that is not static, however it is written.
constexpr int kGlobalWriteCode = 3025;
constexpr std::string_view kGlobalWriteText =
    "global variables are implicitly constant, enable compatibility mode to allow modification";

struct CompileError {
    int line = 0; // of the stage's text
    int column = 1;
    int code = 3000;
    std::string text;
};

// The column of the variable whose members and elements end before token
// `end`, or `otherwise` where none does.
int WrittenColumn(const std::vector<Token>& tokens, size_t end, int otherwise)
{
    size_t k = end;
    while (k > 0 && k <= tokens.size()) {
        --k;
        if (tokens[k].Is(']')) {
            for (int depth = 1; k > 0 && depth > 0;) {
                --k;
                depth += tokens[k].Is(']') ? 1 : tokens[k].Is('[') ? -1 : 0;
            }
            continue;
        }
        if (tokens[k].kind != TokenKind::Identifier)
            break;
        if (k < 2 || !tokens[k - 1].Is('.'))
            return tokens[k].column;
        --k; // the '.' before a member
    }
    return otherwise;
}

// The shader compiler's words where they name nothing, or name its own
// insides, in the platform compiler's: what went wrong, and at what.
void InPlatformWords(CompileError& e, const HlslSource& source)
{
    static constexpr std::string_view kNoName = "'' : ";
    static constexpr std::string_view kNoReturn = "function does not return a value: ";
    static constexpr std::string_view kExpected = "' : Expected";
    static constexpr std::string_view kUnknown = "' : unknown variable";
    static constexpr std::string_view kNoMatch = "' : no matching overloaded function found";
    const std::vector<Token> tokens = Tokenize(source.LineText(e.line));
    // A lookup of one dimension by its own name, not its helper's.
    if (const size_t close = e.text.find('\'', 1); e.text.starts_with('\'') && close != std::string::npos) {
        const std::string lookup = OneDimensionalLookup(std::string_view(e.text).substr(1, close - 1));
        if (!lookup.empty())
            e.text.replace(1, close - 1, lookup);
    }
    // The type of a constructor's target whose helper takes none of the variables.
    const std::string target =
        e.text.size() > kNoMatch.size() + 1 && e.text.front() == '\'' && e.text.ends_with(kNoMatch)
            ? ConstructorTargetType(std::string_view(e.text).substr(1, e.text.size() - kNoMatch.size() - 1))
            : std::string();
    // The last token of the line at or before the column where it stopped.
    size_t at = tokens.size();
    for (size_t i = 0; i < tokens.size() && tokens[i].column <= e.column; ++i)
        at = i;
    if (e.text.size() > kUnknown.size() + 1 && e.text.front() == '\'' && e.text.ends_with(kUnknown)) {
        const std::string name = e.text.substr(1, e.text.size() - kUnknown.size() - 1);
        e.code = 3004;
        e.text = "undeclared identifier '" + name + "'";
        for (size_t i = 0; i < tokens.size() && tokens[i].column <= e.column; ++i)
            if (tokens[i].text == name)
                e.column = tokens[i].column;
    } else if (e.text.find("l-value required \"$Global\"") != std::string::npos) {
        e.code = kGlobalWriteCode;
        e.text = kGlobalWriteText;
        // At the variable written: what stands before the last assignment
        // ('=', or '++' and '--') up to the column, through its members and
        // elements.
        size_t op = at;
        while (op < tokens.size() && op > 0 && !tokens[op].Is('=') &&
               !(tokens[op].Is('+') && tokens[op - 1].Is('+')) && !(tokens[op].Is('-') && tokens[op - 1].Is('-')))
            --op;
        while (op > 0 && op < tokens.size() && tokens[op - 1].kind == TokenKind::Symbol &&
               !tokens[op - 1].Is(']') && !tokens[op - 1].Is(')'))
            --op; // the operator's first part: "+=", "<<=", "++"
        e.column = WrittenColumn(tokens, op, e.column);
    } else if (e.text.starts_with(kNoName) && e.text.substr(kNoName.size()).starts_with(kNoReturn)) {
        const std::string function = e.text.substr(kNoName.size() + kNoReturn.size());
        e.code = 3080;
        e.text = "'" + function + "': function must return a value";
    } else if (e.text.size() > kExpected.size() + 1 && e.text.front() == '\'' && e.text.ends_with(kExpected)) {
        // The token where it stopped: the last that starts at or before the column.
        const std::string expected = e.text.substr(1, e.text.size() - kExpected.size() - 1);
        const Token* found = at < tokens.size() ? &tokens[at] : nullptr;
        if (found) {
            e.column = found->column;
            e.text = "syntax error: unexpected token '" + std::string(found->text.substr(0, 64)) + "', '" + expected +
                     "' expected";
        } else {
            e.text = "syntax error: unexpected end of line, '" + expected + "' expected";
        }
    } else if (e.text.ends_with("array size must be a positive integer")) {
        // As a global of that size is refused: at the size, within the last
        // brackets before where the front end stopped.
        e.code = 3005;
        e.text = "invalid array size";
        const int stop = e.column;
        for (size_t i = 0; i + 1 < tokens.size() && tokens[i].column < stop; ++i)
            if (tokens[i].Is('['))
                e.column = tokens[i + 1].column;
    } else if (!target.empty()) {
        // A constructor's target, rewritten as a call of its helper: at the type's name.
        e.code = kTargetSizeCode;
        e.text = TargetSizeText(target);
        for (const Token& t : tokens)
            if (t.text.size() == target.size() && ConstructorTargetType(t.text) == target && t.column <= e.column)
                e.column = t.column;
    } else if (e.text.starts_with(kNoName)) {
        e.text.erase(0, kNoName.size());
    }
}

// The places where a vector is cut short to fewer components by no cast or
// constructor of the author's: a constructor of one vector argument larger
// than what it makes, which the front end puts where a value converts; and a
// vector given for a scalar parameter, where a call takes a function's
// overload for vectors (whose vector parameters are named for it).
class Truncations : public glslang::TIntermTraverser {
public:
    struct Found {
        int line = 0;
        int column = 0;
        // A conversion the author may have written (a vector given for a
        // scalar is cut by none: of two at one place, that one is kept).
        bool mayBeWritten = true;
        auto operator<=>(const Found&) const = default;
    };
    std::vector<Found> found;

    bool visitAggregate(glslang::TVisit, glslang::TIntermAggregate* node) override
    {
        if (node->getOp() == glslang::EOpFunction)
            Overload(*node);
        if (node->getOp() == glslang::EOpFunctionCall)
            Call(*node);
        if (!node->isConstructor() || node->getSequence().size() != 1)
            return true;
        const glslang::TIntermTyped* argument = node->getSequence()[0]->getAsTyped();
        const glslang::TType& to = node->getType();
        if (!argument || to.isMatrix() || to.isStruct() || to.isArray() || !(to.isScalar() || to.isVector()))
            return true;
        const glslang::TType& from = argument->getType();
        if (from.isVector() && !from.isArray() && (to.isScalar() ? 1 : to.getVectorSize()) < from.getVectorSize())
            found.push_back({node->getLoc().line, node->getLoc().column, true});
        return true;
    }

private:
    // A function's overload for vectors: which of its parameters stand for scalars.
    void Overload(glslang::TIntermAggregate& function)
    {
        const glslang::TIntermSequence& parts = function.getSequence();
        glslang::TIntermAggregate* list = parts.empty() ? nullptr : parts[0]->getAsAggregate();
        if (!list)
            return;
        std::vector<bool> scalars;
        bool any = false;
        for (TIntermNode* parameter : list->getSequence()) {
            const glslang::TIntermSymbol* symbol = parameter->getAsSymbolNode();
            scalars.push_back(symbol &&
                              std::string_view(symbol->getName().c_str()).starts_with(kVectorParameterPrefix));
            any = any || scalars.back();
        }
        if (any)
            overloads_.emplace(function.getName().c_str(), std::move(scalars));
    }

    // A vector given for a scalar, which the call's overload takes whole
    // where it has two components (a larger one is cut by a constructor; a
    // scalar is spread by one of a single argument).
    void Call(glslang::TIntermAggregate& call)
    {
        const auto overload = overloads_.find(call.getName().c_str());
        if (overload == overloads_.end())
            return;
        const std::vector<bool>& scalars = overload->second;
        const glslang::TIntermSequence& arguments = call.getSequence();
        for (size_t k = 0; k < scalars.size() && k < arguments.size(); ++k) {
            const glslang::TIntermTyped* argument = arguments[k]->getAsTyped();
            if (!scalars[k] || !argument || !argument->getType().isVector())
                continue;
            const glslang::TIntermAggregate* made = argument->getAsAggregate();
            const bool spread = made && made->isConstructor() && made->getSequence().size() == 1 &&
                                made->getSequence()[0]->getAsTyped() &&
                                made->getSequence()[0]->getAsTyped()->getType().isScalarOrVec1();
            if (!spread)
                found.push_back({argument->getLoc().line, argument->getLoc().column, false});
        }
    }

    std::unordered_map<std::string, std::vector<bool>> overloads_; // by mangled name
};

// The places a stage writes what no statement may: a parameter (a variable
// of the uniform block) through an `out` or `inout` argument or an
// intrinsic's output, which the front end lets pass where an assignment
// would be refused; and, through a constructor's target, a value that is no
// variable, whose components the front end would drop.
class ForbiddenWrites : public glslang::TIntermTraverser {
public:
    enum class Kind { Parameter, NotVariable, OtherBase, Size };
    struct Found {
        int line = 0;
        int column = 0;
        Kind kind = Kind::Parameter;
        std::string target; // the constructor target's type, but for a parameter
        std::string named;  // the call or constructor that is no variable, or ""
        auto operator<=>(const Found&) const = default;
    };
    std::vector<Found> found;
    // The calls of constructor targets' helpers, each with its arguments
    // that are no variables of the type's base: each with whether it is a
    // variable of another base, as far as the front end tells (a cast, as
    // written, is none).
    std::vector<std::pair<const glslang::TIntermAggregate*, std::vector<std::pair<size_t, bool>>>> targets;

    bool visitBinary(glslang::TVisit, glslang::TIntermBinary* node) override
    {
        if (node->getOp() >= glslang::EOpAssign && node->getOp() <= glslang::EOpRightShiftAssign &&
            WritesParameter(*node->getLeft()))
            found.push_back({node->getLeft()->getLoc().line, node->getLeft()->getLoc().column});
        return true;
    }

    bool visitAggregate(glslang::TVisit, glslang::TIntermAggregate* node) override
    {
        // The intrinsics whose second argument is an output, which the front
        // end keeps as calls of their own.
        if ((node->getOp() == glslang::EOpModf || node->getOp() == glslang::EOpFrexp) &&
            node->getSequence().size() == 2) {
            const glslang::TIntermTyped* output = node->getSequence()[1]->getAsTyped();
            if (output && WritesParameter(*output))
                found.push_back({output->getLoc().line, output->getLoc().column});
            return true;
        }
        if (node->getOp() != glslang::EOpFunctionCall)
            return true;
        const std::string_view name = node->getName().c_str();
        const std::string target = ConstructorTargetType(name.substr(0, name.find('(')));
        if (!target.empty())
            targets.push_back({node, {}});
        const glslang::TQualifierList& qualifiers = node->getQualifierList();
        const glslang::TIntermSequence& arguments = node->getSequence();
        for (size_t k = 0; k < qualifiers.size() && k < arguments.size(); ++k) {
            const glslang::TIntermTyped* argument = arguments[k]->getAsTyped();
            if (!argument || (qualifiers[k] != glslang::EvqOut && qualifiers[k] != glslang::EvqInOut))
                continue;
            // A variable of another type is converted on its way in, and a
            // copy takes what the function writes.
            const glslang::TIntermUnary* conversion = argument->getAsUnaryNode();
            const bool converted = conversion && conversion->getOp() >= glslang::EOpConvInt8ToBool &&
                                   conversion->getOp() <= glslang::EOpConvUvec2ToAccStruct;
            if (converted)
                argument = conversion->getOperand();
            const glslang::TIntermTyped& base = Base(*argument);
            if (WritesParameter(*argument)) {
                found.push_back({argument->getLoc().line, argument->getLoc().column});
            } else if (!target.empty() && (converted || !base.getAsSymbolNode())) {
                // Placed and named as written, where the text has it.
                targets.back().second.emplace_back(k, converted && base.getAsSymbolNode());
            }
        }
        return true;
    }

private:
    // What a value's elements, members and components are of.
    static const glslang::TIntermTyped& Base(const glslang::TIntermTyped& value)
    {
        const glslang::TIntermTyped* at = &value;
        for (const glslang::TIntermBinary* part = at->getAsBinaryNode();
             part && (part->getOp() == glslang::EOpIndexDirect || part->getOp() == glslang::EOpIndexIndirect ||
                      part->getOp() == glslang::EOpIndexDirectStruct || part->getOp() == glslang::EOpVectorSwizzle ||
                      part->getOp() == glslang::EOpMatrixSwizzle);
             part = at->getAsBinaryNode())
            at = part->getLeft();
        return *at;
    }

    static bool WritesParameter(const glslang::TIntermTyped& target)
    {
        const glslang::TIntermSymbol* base = Base(target).getAsSymbolNode();
        return base && base->getQualifier().storage == glslang::EvqUniform &&
               base->getBasicType() == glslang::EbtBlock;
    }
};

// Whether the value at `column` of `line` is converted as written: a cast
// "(type)" stands before it, or it is a constructor "type(".
bool WrittenConversion(std::string_view line, int column)
{
    const std::vector<Token> tokens = Tokenize(line);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].column != column)
            continue;
        if (i >= 3 && tokens[i - 1].Is(')') && tokens[i - 2].kind == TokenKind::Identifier && tokens[i - 3].Is('('))
            return true;
        if (tokens[i].Is('(') && i + 2 < tokens.size() && tokens[i + 1].kind == TokenKind::Identifier &&
            tokens[i + 2].Is(')'))
            return true;
        return tokens[i].kind == TokenKind::Identifier && i + 1 < tokens.size() && tokens[i + 1].Is('(');
    }
    return false;
}

} // namespace

// glslang reports "ERROR: 0:LINE: 'token' : text" and, for a parse failure,
// "0(LINE): error at column COL, HLSL parsing failed."; each error becomes one
// message at the author's file and line.
std::string Translate(const std::string& log, const HlslSource& source, int sourceLines,
                      const HlslSource::Origin& blame)
{
    using Error = CompileError;
    std::vector<Error> errors;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ERROR: 0:", 0) == 0) {
            const size_t colon = line.find(':', 9);
            if (colon == std::string::npos)
                continue;
            Error e;
            e.line = std::atoi(line.c_str() + 9);
            e.text = line.substr(colon + 1);
            while (!e.text.empty() && (e.text.front() == ' '))
                e.text.erase(e.text.begin());
            while (!e.text.empty() && (e.text.back() == ' ' || e.text.back() == '\r'))
                e.text.pop_back();
            errors.push_back(e);
        } else if (line.rfind("0(", 0) == 0 && line.find("error at column") != std::string::npos) {
            const int at = std::atoi(line.c_str() + 2);
            const int column = std::atoi(line.c_str() + line.find("column") + 7);
            for (Error& e : errors)
                if (e.line == at)
                    e.column = column;
        }
    }
    std::string out;
    for (Error& e : errors) {
        InPlatformWords(e, source); // its lines as the effect has them
        const HlslSource::Origin origin = e.line >= 1 && e.line <= sourceLines ? source.Locate(e.line) : blame;
        out += FormatEffectError(source.FileOf(origin), origin.line, e.line <= sourceLines ? e.column : 1, e.code,
                                 e.text);
    }
    if (out.empty())
        out = FormatEffectError(source.FileOf(blame), blame.line, 1, 3000, "shader compilation failed");
    return out;
}

namespace {

// What the text of each call of a constructor target's helper says: where
// a constructor within it has variables whose components do not add up to
// its size (the front end, given its variables among the others, knows
// nothing of it), and what an argument that is no variable is as written.
void TargetCalls(ForbiddenWrites& writes, std::string_view text)
{
    std::vector<size_t> lineStarts{0};
    for (size_t at = text.find('\n'); !writes.targets.empty() && at != std::string_view::npos;
         at = text.find('\n', at + 1))
        lineStarts.push_back(at + 1);
    platform::CountSteps(text.size());
    const auto found = [&](size_t at, ForbiddenWrites::Kind kind, const std::string& target, std::string named) {
        const size_t line = size_t(std::upper_bound(lineStarts.begin(), lineStarts.end(), at) - lineStarts.begin());
        writes.found.push_back({int(line), int(at - lineStarts[line - 1]) + 1, kind, target, std::move(named)});
    };
    for (const auto& [node, notVariables] : writes.targets) {
        const glslang::TSourceLoc& loc = node->getLoc();
        if (loc.line < 1 || static_cast<size_t>(loc.line) > lineStarts.size())
            continue;
        const size_t open = text.find('(', lineStarts[static_cast<size_t>(loc.line - 1)] + size_t(loc.column - 1));
        if (open == std::string_view::npos)
            continue;
        const TargetCall call = ReadTargetCall(text, open);
        const glslang::TIntermSequence& arguments = node->getSequence();
        const std::string_view name = node->getName().c_str();
        const std::string target = ConstructorTargetType(name.substr(0, name.find('(')));
        for (const NestedTargetMark& mark : call.marks) {
            uint32_t components = 0;
            for (size_t k = mark.first; k < size_t{mark.first} + mark.count && k + 1 < arguments.size(); ++k) {
                const glslang::TType& type = arguments[k]->getAsTyped()->getType();
                components += type.isScalar() ? 1 : type.isVector() ? uint32_t(type.getVectorSize()) : 5;
            }
            if (components != mark.size || size_t{mark.first} + mark.count >= arguments.size())
                found(mark.at, ForbiddenWrites::Kind::Size, target, "");
        }
        for (const auto& [k, variable] : notVariables) {
            if (k >= call.arguments.size())
                continue;
            // A constructor or call by its name, a variable by its own.
            const size_t at = call.arguments[k];
            size_t end = at;
            while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
                ++end;
            const size_t after = text.find_first_not_of(" \t", end);
            const std::string name(text.substr(at, end - at));
            if (end > at && after < text.size() && text[after] == '(')
                found(at, ForbiddenWrites::Kind::NotVariable, target, name + "(...)");
            else
                found(at, variable ? ForbiddenWrites::Kind::OtherBase : ForbiddenWrites::Kind::NotVariable, target,
                      variable ? name : "");
        }
    }
}

} // namespace

std::string WriteErrors(glslang::TIntermediate& stage, const HlslSource& source, int sourceLines,
                        std::string_view text)
{
    ForbiddenWrites writes;
    if (auto* root = stage.getTreeRoot())
        root->traverse(&writes);
    TargetCalls(writes, text);
    std::sort(writes.found.begin(), writes.found.end());
    const auto samePlace = [](const auto& a, const auto& b) { return a.line == b.line && a.column == b.column; };
    writes.found.erase(std::unique(writes.found.begin(), writes.found.end(), samePlace), writes.found.end());
    std::string errors;
    for (const ForbiddenWrites::Found& write : writes.found) {
        if (write.line < 1 || write.line > sourceLines)
            continue;
        const HlslSource::Origin origin = source.Locate(write.line);
        switch (write.kind) {
        case ForbiddenWrites::Kind::Parameter: {
            // At the variable, which the front end places at its last member or element.
            const std::vector<Token> tokens = Tokenize(source.LineText(write.line));
            size_t end = 0;
            while (end < tokens.size() && tokens[end].column < write.column)
                ++end;
            end += end < tokens.size() && tokens[end].kind == TokenKind::Identifier ? 1 : 0;
            while (end < tokens.size() && (tokens[end].Is('[') || (tokens[end].Is('.') && end + 1 < tokens.size())))
                end = tokens[end].Is('[') ? MatchingBracket(tokens, end) + 1 : end + 2;
            errors += FormatEffectError(source.FileOf(origin), origin.line, WrittenColumn(tokens, end, write.column),
                                        kGlobalWriteCode, std::string(kGlobalWriteText));
            break;
        }
        case ForbiddenWrites::Kind::Size:
            errors += FormatEffectError(source.FileOf(origin), origin.line, write.column, kTargetSizeCode,
                                        TargetSizeText(write.target));
            break;
        case ForbiddenWrites::Kind::NotVariable:
        case ForbiddenWrites::Kind::OtherBase:
            errors += FormatEffectError(source.FileOf(origin), origin.line, write.column, kTargetNotVariableCode,
                                        write.kind == ForbiddenWrites::Kind::OtherBase
                                            ? TargetBaseText(write.target, write.named)
                                            : TargetNotVariableText(write.target, write.named));
            break;
        }
    }
    return errors;
}

std::string TruncationWarnings(glslang::TIntermediate& stage, const HlslSource& source, int sourceLines)
{
    // Each place once, where the author wrote it (not in the generated entry point).
    std::string warnings;
    Truncations truncations;
    if (auto* root = stage.getTreeRoot())
        root->traverse(&truncations);
    std::sort(truncations.found.begin(), truncations.found.end());
    const auto samePlace = [](const auto& a, const auto& b) { return a.line == b.line && a.column == b.column; };
    truncations.found.erase(std::unique(truncations.found.begin(), truncations.found.end(), samePlace),
                            truncations.found.end());
    for (auto [line, column, mayBeWritten] : truncations.found) {
        // The helpers before the first line are none of the author's.
        const int helpers = line == 1 ? static_cast<int>(source.prelude.size()) : 0;
        if (column <= helpers)
            continue;
        column -= helpers;
        if (line < 1 || line > sourceLines || (mayBeWritten && WrittenConversion(source.LineText(line), column)))
            continue;
        const HlslSource::Origin origin = source.Locate(line);
        warnings += FormatEffectWarning(source.FileOf(origin), origin.line, column, 3206,
                                        "implicit truncation of vector type");
    }
    return warnings;
}

std::string LoopVariableWarnings(const HlslSource& source)
{
    std::string warnings;
    for (const RedeclaredLoopVariable& v : source.redeclaredLoopVariables) {
        const HlslSource::Origin origin = source.Locate(v.line);
        warnings += FormatEffectWarning(source.FileOf(origin), origin.line, v.column, 3078,
                                        "'" + v.name + "': loop control variable conflicts with a previous "
                                        "declaration in the outer scope; most recent declaration will be used");
    }
    return warnings;
}

} // namespace gfx
