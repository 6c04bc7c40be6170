#pragma once
// The effect parser's one reader, declared for its parts: each effect_reader_*.cpp
// reads one kind of thing; ParseEffect (effect_parser.cpp) is the way in.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/parser/effect_parser.h"
#include "platform/gfx/fx/parser/effect_states.h"
#include "platform/gfx/fx/parser/token_reader.h"
#include "platform/window/close_check.h"

namespace gfx::parse {

struct TypeInfo {
    EffectParameterType type = EffectParameterType::Float;
    ValueBase base = ValueBase::Float; // of a numeric type
    uint8_t rows = 1;
    uint8_t columns = 1;
    bool matrix = false;
    std::string structName;
    bool isVoid = false;
    std::string_view written;
};

class Parser : public TokenReader {
public:
    // Where the statics whose values call the effect's functions are told, or null.
    std::vector<FoldedInitializer>* folded_ = nullptr;
    // Where the statics given their values at the entry points are named, or null.
    std::vector<std::string>* assigned_ = nullptr;

    Parser(std::string_view text, const std::string& fileName, std::string& messages, size_t tokenBytes)
        : TokenReader(text, fileName, messages),
          budget_(ExpressionBudget::ForText(tokenBytes != 0 ? tokenBytes : TokenBytes(text)))
    {
    }

    bool Run(EffectDescription& out);

private:
    // ---- The top level and constant expressions: effect_parser.cpp ----

    bool TopLevel();

    // The parser's tokens as the expression reader reads them.
    class Tokens : public ExpressionTokens {
    public:
        explicit Tokens(Parser& parser) : parser_(parser) {}
        const Token& Peek(size_t ahead) override { return parser_.Peek(ahead); }
        Token Next() override
        {
            const Token t = parser_.Next();
            open += IsSymbol(t, '(') || IsSymbol(t, '[') || IsSymbol(t, '{') ? 1 : 0;
            open -= IsSymbol(t, ')') || IsSymbol(t, ']') || IsSymbol(t, '}') ? 1 : 0;
            return t;
        }
        int open = 0; // brackets read and not yet closed

    private:
        Parser& parser_;
    };

    // What a name means in an expression: what was declared before it.
    struct Symbol {
        ExpressionName::Kind kind = ExpressionName::Kind::Unknown;
        ExpressionValue value;
        Expression program;
        uint32_t parameter = 0;
        ValueShape shape;
        std::string_view text; // a function's definition
        Token at;              // where a function begins
        std::string why;       // what a Refused name is
        // A static computed from parameters whose value the shaders give it
        // at their entry point's start, not in its declaration.
        bool assignedAtEntry = false;
        std::vector<uint32_t> sizes; // of an array of arrays (ExpressionName::sizes)
    };

    class Names : public ExpressionNames {
    public:
        explicit Names(Parser& parser) : parser_(parser) {}
        ExpressionName Find(std::string_view name) override;

    private:
        Parser& parser_;
    };

    bool Declare(const Token& name, Symbol symbol);
    bool ExpressionFailed(const ExpressionError& error);
    static ValueShape ShapeOf(const TypeInfo& type, uint32_t arraySize)
    {
        ValueShape shape;
        shape.base = type.base;
        shape.rows = type.rows;
        shape.columns = type.columns;
        shape.matrix = type.matrix;
        shape.arraySize = arraySize;
        return shape;
    }
    bool ConstantValue(const Expression& program, const Token& at, const std::string& what, ExpressionValue& value);

    // ---- Types and declarations: effect_reader_declarations.cpp ----

    bool ParseType(TypeInfo& info);
    // `[size]` after a name, read from the '['; `unsized` for `[]`. With
    // `sizes`, an array of arrays too, `[2][3]`, its sizes there (the first
    // 0 where it is unstated), `size` their product and `firstClose` the
    // first ']'.
    bool ArraySize(uint32_t& size, bool& unsized, std::vector<uint32_t>* sizes = nullptr, Token* firstClose = nullptr);
    bool InitialValue(const ValueShape& shape, Expression& program, ExpressionError* shadersOnly = nullptr);
    bool Typedef();
    bool ConstantBuffer();
    bool Declaration();
    // What the text from `first` to `last` calls and reads of the effect's.
    struct Uses {
        bool functions = false; // calls a function of the effect
        bool assigned = false;  // reads a static the shaders give its value at their entry point
    };
    Uses UsesOf(const Token& first, const Token& last) const;
    bool AssignAtEntry(Symbol& symbol, const std::string& name, const Token& value);
    bool Declarators(const TypeInfo& type, bool isStatic, Token nameToken, std::string* read = nullptr);
    bool Function(const Token& first, const Token& nameToken);
    // A struct, or a function's head, as the description keeps it for the
    // shaders' boundary: typedefs written as the types they name, array sizes
    // that are constant expressions as their values.
    std::string KeptText(std::string_view text);
    // The value of an array size written as `tokens`: a constant whole
    // number from 1 to kMaxEffectArraySize; false for anything else.
    bool FoldedSize(std::vector<Token> tokens, uint32_t& size);
    bool Variable(const TypeInfo& type, bool isStatic, const std::string& name, const Token& nameToken);
    bool StringInitialValue(EffectParameter& p, bool unsized, const Token& valueToken);
    uint64_t ValuesOf(const EffectParameter& p, bool isStatic) const;
    bool Fits(const EffectParameter& p, bool isStatic, const Token& nameToken);

    // ---- Structs and their layouts: effect_reader_structs.cpp ----

    // What a struct's members hold, as a parameter of it keeps them; or why
    // no parameter can be of it (its members are still the shaders' to read).
    struct StructInfo {
        EffectStructType type;
        uint64_t floats = 0; // an element's
        uint32_t depth = 1;  // of structs within structs
        std::string why;     // "" when parameters can be of it
        bool laidOut = false; // in the description's struct types
        std::vector<uint64_t> firsts; // by member: where its values begin in an element
        NameTable members;            // by name, into type.members (once it is kept)
    };
    bool Struct();
    ExpressionName StructPartNamed(std::string_view path) const;
    uint32_t StructNamed(const Token& t) const;
    void ConvertStructDefaults();
    StructInfo ReadStructLayout(const std::string& name, const std::vector<Token>& body);
    void ReadMembers(const std::vector<Token>& body, size_t at, size_t end, StructInfo& info);
    bool MemberType(const std::vector<Token>& body, size_t& at, size_t end, EffectMember& out, uint32_t& depth,
                    std::string& why);
    bool StructMember(const std::string& structName, EffectMember& out, uint32_t& depth, std::string& why);
    bool MemberArraySize(const std::vector<Token>& body, size_t& at, size_t end, EffectMember& member,
                         std::string& why);
    void LayOut(uint32_t structIndex);
    bool StructInitialValue(EffectParameter& p, bool unsized, const Token& valueToken, const StructInfo& info);

    // ---- Annotations and state values: effect_reader_states.cpp ----

    bool Number(const Token& t, float& value);
    bool StringValue(std::string& value);
    bool Annotations(std::vector<EffectAnnotation>& list);
    bool StateTarget(EffectState& state, Token* indexAt = nullptr);
    bool ConstantIndex(const std::string& what, uint32_t& index, Token& at);
    bool TextureElement(const EffectParameter& texture, std::string& name);
    const StateInfo* KnownState(const EffectState& state, const Token& nameToken, const Token& indexToken);
    bool AssignmentValue(const StateInfo& info, StateAssignment& a, std::string& written);
    bool ObjectValue(const StateInfo& info, StateAssignment& a);
    bool NumberValue(const StateInfo& info, StateAssignment& a);
    bool Words(const StateInfo& info, const Token& at, const ValueShape& shape, const double* values,
               StateAssignment& a);
    bool SamplerState(EffectParameter& p, bool keyword = true);

    // ---- Shaders, passes and techniques: effect_reader_techniques.cpp ----

    bool CompileShader(bool vertex, const std::string& stateName, EffectShader& shader);
    // X3206 for each argument of a compile statement that its uniform parameter cuts.
    void WarnOfCutArguments(const std::string& entry, const std::vector<Token>& inner);
    bool ShaderElement(bool vertex, const std::string& stateName, const std::string& owner, EffectShader& shader);
    bool ShaderState(const StateInfo& info, const std::string& owner, EffectPass& pass);
    bool Pass(EffectPass& pass, const std::string& owner);
    bool Technique();
    bool SkipLaterTechnique();
    bool ShaderDeclaration(bool vertex);
    bool ShaderDeclarator(bool vertex, const std::string& type);

    // Moves what a deque gathered into its vector a few thousand at a time
    // between looks at the close signal: a vector grown one by one would move
    // all it holds at each doubling, in one step. False once closing.
    template <class T> bool Gather(std::deque<T>& from, std::vector<T>& to)
    {
        to.reserve(from.size());
        for (T& item : from) {
            if (platform::ClosingAfter()) {
                closing_ = true;
                closedAt_ = current_;
                return false;
            }
            to.push_back(std::move(item));
        }
        from.clear();
        return true;
    }

    // Parameters and a technique's passes gather in deques, which never move
    // what they hold, and go to their vectors once complete.
    std::deque<EffectParameter> parameters_;
    NameTable parameterNames_; // index in parameters_
    NameTable techniques_;
    NameTable functions_;
    NameTable structNames_;  // into structs_
    std::deque<StructInfo> structs_;
    int unnamedStructs_ = 0;
    NameTable typedefIndex_; // into typedefs_
    std::deque<TypeInfo> typedefs_;
    // Shader variables, by name: what passes that name them take.
    struct ShaderVariable {
        bool vertex = true;
        bool array = false;
        std::vector<EffectShader> elements;
    };
    const ShaderVariable* FindShaderVariable(std::string_view name) const
    {
        const uint32_t found = shaderVariableNames_.Find(name);
        return found == NameTable::kNone ? nullptr : &shaderVariables_[found];
    }
    std::deque<ShaderVariable> shaderVariables_;
    Token lastValueToken_; // the last token of the shader state value read last
    NameTable shaderVariableNames_;
    uint64_t parameterFloats_ = 0;
    // What names mean to expressions, in the order declared.
    NameTable symbolIndex_;
    std::deque<Symbol> symbols_;
    ExpressionBudget budget_;
    EffectDescription out_;
};

} // namespace gfx::parse
