#include "platform/gfx/fx/hlsl/matrix_swizzle_mends.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include <glslang/MachineIndependent/localintermediate.h>

#include "platform/gfx/fx/hlsl/tree_nodes.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/matrix_swizzle.h"

namespace gfx {

namespace {

using glslang::TIntermAggregate;
using glslang::TIntermBinary;
using ::TIntermNode;
using glslang::TIntermSymbol;
using glslang::TIntermTyped;
using glslang::TOperator;
using glslang::TSourceLoc;
using glslang::TType;

bool IsWrite(TOperator op)
{
    return op >= glslang::EOpAssign && op <= glslang::EOpRightShiftAssign;
}

TIntermBinary* AsSwizzle(TIntermNode* node)
{
    TIntermBinary* binary = node ? node->getAsBinaryNode() : nullptr;
    return binary && binary->getOp() == glslang::EOpMatrixSwizzle ? binary : nullptr;
}

int ConstantOf(const TIntermNode* node)
{
    return node->getAsConstantUnion()->getConstArray()[0].getIConst();
}

// The elements a swizzle node picks: the front end lists each one's row and column.
std::vector<MatrixElement> ElementsOf(const TIntermBinary& swizzle)
{
    std::vector<MatrixElement> elements;
    const glslang::TIntermSequence& list = swizzle.getRight()->getAsAggregate()->getSequence();
    for (size_t k = 0; k + 1 < list.size(); k += 2)
        elements.push_back({uint8_t(ConstantOf(list[k])), uint8_t(ConstantOf(list[k + 1]))});
    return elements;
}

std::string OneTwiceText(std::string_view name)
{
    return "'." + std::string(name) + "' writes one component twice";
}

bool NamesOneTwice(const std::vector<MatrixElement>& elements)
{
    for (size_t a = 0; a < elements.size(); ++a)
        if (std::find(elements.begin() + std::ptrdiff_t(a) + 1, elements.end(), elements[a]) != elements.end())
            return true;
    return false;
}

std::string ConvertText(const TType& from, const TType& to)
{
    return "cannot convert from '" + HlslTypeName(from) + "' to '" + HlslTypeName(to) + "'";
}

// What is read again at no cost and with no effect: a variable, a constant,
// and their members and elements at such indices.
bool Plain(const TIntermTyped& node)
{
    if (node.getAsSymbolNode() || node.getAsConstantUnion())
        return true;
    const TIntermBinary* part = node.getAsBinaryNode();
    if (!part || !Plain(*part->getLeft()))
        return false;
    const TIntermTyped& index = *part->getRight();
    switch (part->getOp()) {
    case glslang::EOpIndexDirect:
    case glslang::EOpIndexDirectStruct:
        return true;
    case glslang::EOpIndexIndirect:
        return index.getAsSymbolNode() || index.getAsConstantUnion();
    default:
        return false;
    }
}

class Mender : public glslang::TIntermTraverser {
public:
    Mender(glslang::TIntermediate& stage, const StageTextPlace& place)
        : TIntermTraverser(false, false, true), stage_(stage), place_(place), source_(place.source),
          temporaries_(stage)
    {
        for (const SwizzleWrite& w : source_.swizzleWrites)
            writes_.emplace(std::make_pair(w.line, w.column), &w);
    }

    bool visitBinary(glslang::TVisit, TIntermBinary* node) override
    {
        TIntermNode* parent = getParentNode();
        const TOperator op = node->getOp();
        if (op == glslang::EOpMatrixSwizzle || op == glslang::EOpIndexDirect)
            CheckName(*node);
        met_ = met_ || op == glslang::EOpMatrixSwizzle;
        if (IsWrite(op)) {
            Write(*node, parent);
            return true;
        }
        TIntermBinary* inner = AsSwizzle(node->getLeft());
        if (inner && op == glslang::EOpIndexDirect) {
            // One of its components is one element of its matrix.
            const std::vector<MatrixElement> elements = ElementsOf(*inner);
            const int k = ConstantOf(node->getRight());
            if (k < 0 || size_t(k) >= elements.size())
                Refuse(node->getLoc(), 3504, "array index out of bounds: " + std::to_string(k) + " of 0 to " +
                                                 std::to_string(elements.size() - 1));
            else
                Replace(parent, node, Element(inner->getLeft(), elements[size_t(k)], node->getLoc()));
            return true;
        }
        if (inner && op == glslang::EOpVectorSwizzle) {
            // Components of its components are elements of its matrix.
            const std::vector<MatrixElement> elements = ElementsOf(*inner);
            TIntermAggregate* list = new TIntermAggregate(glslang::EOpSequence);
            list->setLoc(node->getLoc());
            for (TIntermNode* pick : node->getRight()->getAsAggregate()->getSequence()) {
                const MatrixElement& e = elements[size_t(ConstantOf(pick))];
                list->getSequence().push_back(stage_.addConstantUnion(int(e.row), node->getLoc()));
                list->getSequence().push_back(stage_.addConstantUnion(int(e.column), node->getLoc()));
            }
            node->setOp(glslang::EOpMatrixSwizzle);
            node->setLeft(inner->getLeft());
            node->setRight(list);
        }
        if (node->getOp() == glslang::EOpMatrixSwizzle && !WrittenThere(parent, node) && !Picked(parent, node))
            Replace(parent, node, Read(*node));
        return true;
    }

    bool visitAggregate(glslang::TVisit, TIntermAggregate* node) override
    {
        if (node->getOp() == glslang::EOpSequence)
            MendSplitWrite(*node);
        else if (node->getOp() == glslang::EOpFunctionCall)
            MendCall(*node, getParentNode());
        return true;
    }

    void Refuse(const TSourceLoc& loc, int code, const std::string& text)
    {
        int line = 0, column = 0;
        place_.Of(loc, line, column);
        RefuseAt(line, column, code, text);
    }

    // At a place of the effect's text.
    void RefuseAt(int line, int column, int code, const std::string& text)
    {
        refused_.insert({line, column});
        const HlslSource::Origin origin = source_.Locate(line);
        refusals_.push_back(FormatEffectError(source_.FileOf(origin), origin.line, column, code, text));
    }

    // Each at its place once, however often the tree reaches it.
    std::string Refusals() const
    {
        std::string out;
        std::set<std::string> said;
        for (const std::string& r : refusals_)
            if (said.insert(r).second)
                out += r;
        return out;
    }

    // Whether something at `loc` was refused already.
    bool Refused(const TSourceLoc& loc) const
    {
        int line = 0, column = 0;
        place_.Of(loc, line, column);
        return refused_.count({line, column}) != 0;
    }

    // Whether any node was a swizzle of several elements, or split from one.
    bool Met() const { return met_; }

    // The name written at `loc` in the effect's text, or "".
    std::string NameAt(const TSourceLoc& loc) const
    {
        int line = 0, column = 0;
        if (!place_.Of(loc, line, column))
            return {};
        const std::string_view text = source_.LineText(line);
        const size_t at = size_t(column - 1);
        if (at >= text.size() || !IsIdentStart(text[at]))
            return {};
        return std::string(text.substr(at, SkipIdentChars(text, at) - at));
    }

private:
    // A name read or written of a matrix that the platform's compiler does
    // not take, where the front end reads it: `_m00_11` mixes the forms.
    void CheckName(const TIntermBinary& node)
    {
        const TType& matrix = node.getLeft()->getType();
        if (!matrix.isMatrix() || matrix.isArray())
            return;
        const std::string name = NameAt(node.getLoc());
        if (!name.empty() && name[0] == '_' && AfterDot(node.getLoc()) && ReadMatrixSwizzle(name).elements.empty())
            Refuse(node.getLoc(), kInvalidSubscriptCode, InvalidSubscriptText(name, HlslTypeName(matrix)));
    }

    // Whether the name at `loc` follows a '.' (past blanks and comments on
    // its line; one that begins its line follows one on a line before): an
    // index written in brackets is no member.
    bool AfterDot(const TSourceLoc& loc) const
    {
        int line = 0, column = 0;
        place_.Of(loc, line, column);
        std::string_view before = source_.LineText(line).substr(0, size_t(column - 1));
        for (;;) {
            while (!before.empty() && IsBlank(before.back()))
                before.remove_suffix(1);
            if (!before.ends_with("*/"))
                break;
            const size_t open = before.rfind("/*", before.size() - 2);
            if (open == std::string_view::npos)
                break;
            before = before.substr(0, open);
        }
        return before.empty() || before.back() == '.';
    }

    // The write listed at `loc` by the rewrite, or nullptr.
    const SwizzleWrite* ListedWrite(const TSourceLoc& loc) const
    {
        int line = 0, column = 0;
        place_.Of(loc, line, column);
        const auto found = writes_.find({line, column});
        return found == writes_.end() ? nullptr : found->second;
    }

    void Write(TIntermBinary& node, TIntermNode* parent)
    {
        TIntermTyped* target = node.getLeft();
        const SwizzleWrite* listed = ListedWrite(node.getLoc());
        // The rewrite left '=' for the operator written; the front end's
        // own variable for the value, a bare name, keeps it.
        if (listed && !target->getAsSymbolNode()) {
            const MatrixSwizzle read = ReadMatrixSwizzle(listed->name);
            const TIntermBinary* element = target->getAsBinaryNode();
            const TIntermTyped* matrix =
                element && element->getOp() == glslang::EOpIndexDirect ? element->getLeft() : nullptr;
            if (matrix && matrix->getAsBinaryNode() && !matrix->getType().isMatrix())
                matrix = matrix->getAsBinaryNode()->getLeft();
            // Where the front end split it at the operator (a row's name is checked where it stands).
            if (read.elements.empty() && matrix && matrix->getType().isMatrix() &&
                target->getLoc().column == node.getLoc().column && target->getLoc().line == node.getLoc().line)
                RefuseAt(listed->nameLine, listed->nameColumn, kInvalidSubscriptCode,
                         InvalidSubscriptText(listed->name, HlslTypeName(matrix->getType())));
            node.setOp(CompoundOperator(listed->op));
        }
        if (TIntermBinary* swizzle = AsSwizzle(target)) {
            Replace(parent, &node, WriteElements(*swizzle, node.getOp(), node.getRight(), node.getLoc()));
            return;
        }
        if (MadeRead(*target))
            Refuse(target->getLoc(), 3025, "a component of a swizzle of several matrix elements chosen by a variable "
                                           "is not written here: write the elements themselves");
    }

    static TOperator CompoundOperator(const std::string& op)
    {
        static const std::map<std::string, TOperator> kOperators = {
            {"=", glslang::EOpAssign},           {"+=", glslang::EOpAddAssign},
            {"-=", glslang::EOpSubAssign},       {"*=", glslang::EOpMulAssign},
            {"/=", glslang::EOpDivAssign},       {"%=", glslang::EOpModAssign},
            {"&=", glslang::EOpAndAssign},       {"|=", glslang::EOpInclusiveOrAssign},
            {"^=", glslang::EOpExclusiveOrAssign}, {"<<=", glslang::EOpLeftShiftAssign},
            {">>=", glslang::EOpRightShiftAssign}};
        const auto found = kOperators.find(op);
        return found == kOperators.end() ? glslang::EOpAssign : found->second;
    }

    // Whether `node` is written where it stands in `parent`: those writes
    // that are mended are mended there, the rest refused after.
    static bool WrittenThere(TIntermNode* parent, TIntermTyped* node)
    {
        if (!parent)
            return false;
        if (TIntermBinary* b = parent->getAsBinaryNode())
            return IsWrite(b->getOp()) && b->getLeft() == node;
        if (glslang::TIntermUnary* u = parent->getAsUnaryNode())
            return u->getOp() >= glslang::EOpPostIncrement && u->getOp() <= glslang::EOpPreDecrement;
        TIntermAggregate* a = parent->getAsAggregate();
        if (!a)
            return false;
        const glslang::TIntermSequence& arguments = a->getSequence();
        const glslang::TQualifierList& qualifiers = a->getQualifierList();
        for (size_t k = 0; k < arguments.size(); ++k) {
            if (arguments[k] != node)
                continue;
            if (a->getOp() == glslang::EOpFunctionCall)
                return k < qualifiers.size() &&
                       (qualifiers[k] == glslang::EvqOut || qualifiers[k] == glslang::EvqInOut);
            if (k == 1 && (a->getOp() == glslang::EOpModf || a->getOp() == glslang::EOpFrexp))
                return true;
        }
        return false;
    }

    // Whether `parent` picks components of `node`, which it mends itself.
    static bool Picked(TIntermNode* parent, TIntermTyped* node)
    {
        TIntermBinary* b = parent ? parent->getAsBinaryNode() : nullptr;
        return b && b->getLeft() == node &&
               (b->getOp() == glslang::EOpIndexDirect || b->getOp() == glslang::EOpVectorSwizzle);
    }

    // Puts `by` in the place of `old` among `parent`'s children.
    static void Replace(TIntermNode* parent, TIntermTyped* old, TIntermNode* by)
    {
        if (!parent || !by)
            return;
        TIntermTyped* typed = by->getAsTyped();
        if (TIntermBinary* b = parent->getAsBinaryNode()) {
            if (b->getLeft() == old && typed)
                b->setLeft(typed);
            if (b->getRight() == old && typed)
                b->setRight(typed);
        } else if (glslang::TIntermUnary* u = parent->getAsUnaryNode()) {
            if (u->getOperand() == old && typed)
                u->setOperand(typed);
        } else if (TIntermAggregate* a = parent->getAsAggregate()) {
            std::replace(a->getSequence().begin(), a->getSequence().end(), static_cast<TIntermNode*>(old), by);
        } else if (glslang::TIntermSelection* s = parent->getAsSelectionNode()) {
            if (s->getCondition() == old && typed)
                s->setCondition(typed);
            if (s->getTrueBlock() == old && typed)
                s->setTrueBlock(typed);
            if (s->getFalseBlock() == old && typed)
                s->setFalseBlock(typed);
        } else if (glslang::TIntermBranch* r = parent->getAsBranchNode()) {
            if (r->getExpression() == old && typed)
                r->setExpression(typed);
        }
    }

    TIntermTyped* Index(TIntermTyped* base, int index, const TSourceLoc& loc)
    {
        TIntermTyped* part = stage_.addIndex(glslang::EOpIndexDirect, base, stage_.addConstantUnion(index, loc), loc);
        TType type(base->getType(), 0);
        if (type.getQualifier().storage == glslang::EvqConst)
            type.getQualifier().storage = glslang::EvqTemporary;
        part->setType(type);
        return part;
    }

    TIntermTyped* Element(TIntermTyped* matrix, const MatrixElement& e, const TSourceLoc& loc)
    {
        return Index(Index(matrix, e.row, loc), e.column, loc);
    }

    // The elements `swizzle` picks, as a value: its matrix read once.
    TIntermTyped* Read(const TIntermBinary& swizzle)
    {
        const std::vector<MatrixElement> elements = ElementsOf(swizzle);
        const TSourceLoc& loc = swizzle.getLoc();
        TIntermTyped* matrix = swizzle.getLeft();
        const TType& type = swizzle.getType();
        if (const glslang::TIntermConstantUnion* constant = matrix->getAsConstantUnion()) {
            // A constant's elements are a constant.
            const glslang::TConstUnionArray& all = constant->getConstArray();
            glslang::TConstUnionArray picked(int(elements.size()));
            for (size_t k = 0; k < elements.size(); ++k)
                picked[int(k)] = all[elements[k].row * matrix->getMatrixRows() + elements[k].column];
            TType constantType(type.getBasicType(), glslang::EvqConst, int(elements.size()));
            return stage_.addConstantUnion(picked, constantType, loc);
        }
        TIntermTyped* first = nullptr;
        if (!Plain(*matrix)) {
            TIntermSymbol* held = temporaries_.Make(matrix->getType(), "zl_elements", loc);
            first = stage_.addAssign(glslang::EOpAssign, held, matrix, loc);
            matrix = ReadAgain(*held);
        }
        TIntermTyped* value = nullptr;
        const bool oneRow = std::all_of(elements.begin(), elements.end(),
                                        [&](const MatrixElement& e) { return e.row == elements[0].row; });
        if (oneRow) {
            TIntermAggregate* columns = new TIntermAggregate(glslang::EOpSequence);
            columns->setLoc(loc);
            for (const MatrixElement& e : elements)
                columns->getSequence().push_back(stage_.addConstantUnion(int(e.column), loc));
            value = stage_.addIndex(glslang::EOpVectorSwizzle, Index(matrix, elements[0].row, loc), columns, loc);
            value->setType(TType(type.getBasicType(), glslang::EvqTemporary, type.getQualifier().precision,
                                 int(elements.size())));
        } else {
            TType made(type.getBasicType(), glslang::EvqTemporary, int(elements.size()));
            TIntermAggregate* construct = new TIntermAggregate(stage_.mapTypeToConstructorOp(made));
            for (const MatrixElement& e : elements)
                construct->getSequence().push_back(Element(matrix, e, loc));
            construct->setType(made);
            construct->setLoc(loc);
            value = construct;
        }
        if (first)
            value = stage_.addComma(first, value, loc);
        if (first || !oneRow)
            made_.insert(value); // a row's swizzle of a variable is written as it stands
        return value;
    }

    // Refuses a write to `swizzle` that names one of its `elements` twice: true where it does.
    bool RefusedAsWrittenTwice(const TIntermBinary& swizzle, const std::vector<MatrixElement>& elements)
    {
        if (!NamesOneTwice(elements))
            return false;
        Refuse(swizzle.getLoc(), 3025, OneTwiceText(NameAt(swizzle.getLoc())));
        return true;
    }

    bool MadeRead(const TIntermTyped& target) const
    {
        const TIntermTyped* at = &target;
        for (const TIntermBinary* part = at->getAsBinaryNode();
             part && (part->getOp() == glslang::EOpIndexDirect || part->getOp() == glslang::EOpIndexIndirect ||
                      part->getOp() == glslang::EOpVectorSwizzle);
             part = at->getAsBinaryNode())
            at = part->getLeft();
        return made_.count(at) != 0;
    }

    // The write of each element, with `op`, from the components of `value` in turn (all of it, a scalar).
    TIntermTyped* WriteElements(const TIntermBinary& swizzle, TOperator op, TIntermTyped* value,
                                const TSourceLoc& loc)
    {
        const std::vector<MatrixElement> elements = ElementsOf(swizzle);
        if (RefusedAsWrittenTwice(swizzle, elements))
            return nullptr;
        const TType& type = value->getType();
        if (!type.isScalarOrVec1() && (type.isMatrix() || type.isArray() || type.isStruct() ||
                                       type.getVectorSize() < int(elements.size()))) {
            Refuse(loc, 3017, ConvertText(type, swizzle.getType()));
            return nullptr;
        }
        TIntermAggregate* writes = new TIntermAggregate(glslang::EOpSequence);
        writes->setLoc(loc);
        TIntermSymbol* held = nullptr;
        if (!value->getAsSymbolNode() && !value->getAsConstantUnion()) {
            held = temporaries_.Make(type, "zl_elements", loc);
            writes->getSequence().push_back(stage_.addAssign(glslang::EOpAssign, held, value, loc));
        }
        for (size_t k = 0; k < elements.size(); ++k) {
            TIntermTyped* from = held ? ReadAgain(*held) : value;
            if (type.getVectorSize() > 1)
                from = Index(from, int(k), loc);
            TIntermTyped* write = stage_.addAssign(op, Element(swizzle.getLeft(), elements[k], loc), from, loc);
            if (!write) {
                Refuse(loc, 3017, ConvertText(type, swizzle.getType()));
                return nullptr;
            }
            writes->getSequence().push_back(write);
        }
        return writes;
    }

    // The front end splits `M._11_22 = v` itself into a write of each
    // element, from v's components where v is a variable, whatever they
    // are: from its type as written where it is another, with the
    // conversion, a scalar spread and a larger vector cut.
    void MendSplitWrite(TIntermAggregate& sequence)
    {
        glslang::TIntermSequence& parts = sequence.getSequence();
        const TIntermTyped* matrix = nullptr;
        TIntermSymbol* from = nullptr;
        std::vector<MatrixElement> elements;
        std::vector<TIntermBinary*> writes;
        for (TIntermNode* part : parts) {
            TIntermBinary* write = part->getAsBinaryNode();
            if (!write || !IsWrite(write->getOp()))
                return;
            const TIntermBinary* element = write->getLeft()->getAsBinaryNode();
            const TIntermBinary* row = element && element->getOp() == glslang::EOpIndexDirect
                                           ? element->getLeft()->getAsBinaryNode()
                                           : nullptr;
            TIntermBinary* component = write->getRight()->getAsBinaryNode();
            if (!row || row->getOp() != glslang::EOpIndexDirect || !row->getLeft()->getType().isMatrix() ||
                !component || component->getOp() != glslang::EOpIndexDirect ||
                !component->getLeft()->getAsSymbolNode()) {
                if (write == parts.front() && write->getLeft()->getAsSymbolNode())
                    continue; // the front end's own variable for the value
                return;
            }
            const TIntermSymbol* source = component->getLeft()->getAsSymbolNode();
            if ((matrix && matrix != row->getLeft()) || (from && from->getId() != source->getId()))
                return;
            matrix = row->getLeft();
            from = component->getLeft()->getAsSymbolNode();
            elements.push_back({uint8_t(ConstantOf(row->getRight())), uint8_t(ConstantOf(element->getRight()))});
            writes.push_back(write);
        }
        if (writes.size() < 2)
            return;
        met_ = true;
        const SwizzleWrite* listed = ListedWrite(writes[0]->getLoc());
        if (listed && ReadMatrixSwizzle(listed->name).elements.empty())
            return; // refused for its name
        if (NamesOneTwice(elements)) {
            if (listed)
                RefuseAt(listed->nameLine, listed->nameColumn, 3025, OneTwiceText(listed->name));
            else
                Refuse(writes[0]->getLoc(), 3025, OneTwiceText("_"));
            return;
        }
        const TType wanted(matrix->getBasicType(), glslang::EvqTemporary, int(elements.size()));
        if (from->getType() == wanted)
            return;
        TIntermSymbol* held = temporaries_.Make(wanted, "zl_elements", writes[0]->getLoc());
        TIntermTyped* made = stage_.addAssign(glslang::EOpAssign, held, from, writes[0]->getLoc());
        if (!made) {
            Refuse(writes[0]->getLoc(), 3017, ConvertText(from->getType(), wanted));
            return;
        }
        parts.insert(parts.begin(), made);
        for (size_t k = 0; k < writes.size(); ++k)
            writes[k]->setRight(Index(ReadAgain(*held), int(k), writes[k]->getLoc()));
    }

    // A call that writes a swizzle through an `out` or `inout` argument
    // writes a variable of the mend's own, whose components go to the
    // elements after it: (v = M._11_22, r = f(v), M._11 = v[0], M._22 = v[1], r).
    void MendCall(TIntermAggregate& call, TIntermNode* parent)
    {
        glslang::TIntermSequence& arguments = call.getSequence();
        const glslang::TQualifierList& qualifiers = call.getQualifierList();
        const TSourceLoc& loc = call.getLoc();
        std::vector<TIntermTyped*> before, after;
        for (size_t k = 0; k < arguments.size() && k < qualifiers.size(); ++k) {
            TIntermBinary* swizzle = AsSwizzle(arguments[k]);
            if (!swizzle || (qualifiers[k] != glslang::EvqOut && qualifiers[k] != glslang::EvqInOut))
                continue;
            const std::vector<MatrixElement> elements = ElementsOf(*swizzle);
            if (RefusedAsWrittenTwice(*swizzle, elements))
                continue;
            TIntermSymbol* held = temporaries_.Make(swizzle->getType(), "zl_elements", swizzle->getLoc());
            if (qualifiers[k] == glslang::EvqInOut)
                before.push_back(stage_.addAssign(glslang::EOpAssign, held, Read(*swizzle), swizzle->getLoc()));
            const TSourceLoc& at = swizzle->getLoc();
            for (size_t e = 0; e < elements.size(); ++e)
                after.push_back(stage_.addAssign(glslang::EOpAssign, Element(swizzle->getLeft(), elements[e], at),
                                                 Index(ReadAgain(*held), int(e), at), at));
            arguments[k] = ReadAgain(*held);
        }
        if (after.empty())
            return;
        TIntermAggregate* comma = new TIntermAggregate(glslang::EOpComma);
        comma->setLoc(loc);
        glslang::TIntermSequence& steps = comma->getSequence();
        steps.insert(steps.end(), before.begin(), before.end());
        TIntermSymbol* result = nullptr;
        if (call.getType().getBasicType() == glslang::EbtVoid) {
            steps.push_back(&call);
        } else {
            result = temporaries_.Make(call.getType(), "zl_elements", loc);
            steps.push_back(stage_.addAssign(glslang::EOpAssign, result, &call, loc));
        }
        steps.insert(steps.end(), after.begin(), after.end());
        if (result)
            steps.push_back(ReadAgain(*result));
        comma->setType(call.getType());
        Replace(parent, &call, comma);
    }

    glslang::TIntermediate& stage_;
    const StageTextPlace& place_;
    const HlslSource& source_;
    TreeTemporaries temporaries_;
    std::map<std::pair<int, int>, const SwizzleWrite*> writes_;
    std::set<const TIntermTyped*> made_; // the values Read made that are no variable's part
    std::vector<std::string> refusals_;
    std::set<std::pair<int, int>> refused_; // their places
    bool met_ = false;
};

// What no mend took: a swizzle that `++` or `--`, or an intrinsic's output,
// writes, or one where no other node may stand (a loop's own expressions).
class Leftovers : public glslang::TIntermTraverser {
public:
    explicit Leftovers(Mender& mender) : mender_(mender) {}
    bool visitBinary(glslang::TVisit, TIntermBinary* node) override
    {
        if (node->getOp() == glslang::EOpMatrixSwizzle && !mender_.Refused(node->getLoc()))
            mender_.Refuse(node->getLoc(), 3000, "'." + mender_.NameAt(node->getLoc()) +
                                                     "': a swizzle of several matrix elements is not taken here: "
                                                     "write its elements one by one");
        return true;
    }

private:
    Mender& mender_;
};

} // namespace

std::string MendMatrixSwizzles(glslang::TIntermediate& stage, const StageTextPlace& place)
{
    TIntermNode* root = stage.getTreeRoot();
    if (!root)
        return {};
    Mender mender(stage, place);
    root->traverse(&mender);
    if (mender.Met()) {
        Leftovers leftovers(mender);
        root->traverse(&leftovers);
    }
    return mender.Refusals();
}

} // namespace gfx
