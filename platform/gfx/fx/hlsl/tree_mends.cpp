#include "platform/gfx/fx/hlsl/tree_mends.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include <glslang/MachineIndependent/localintermediate.h>

#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace gfx {

namespace {

using namespace glslang;

// The built-in operations that work component by component, as GLSL
// takes them of vectors only.
bool PerComponent(TOperator op)
{
    return (op >= EOpRadians && op <= EOpSmoothStep && op != EOpModf) || op == EOpIsNan || op == EOpIsInf ||
           op == EOpFma || op == EOpLdexp || op == EOpMod;
}

class Mender {
public:
    struct Refusal {
        TSourceLoc loc;
        std::string text;
        int code = 3020;
    };
    std::vector<Refusal> errors;

    Mender(TIntermediate& stage, const StageTextPlace& place) : stage_(stage), place_(place), temporaries_(stage) {}

    // The node mended, or what stands for it.
    TIntermTyped* Mend(TIntermTyped* node)
    {
        if (!node)
            return node;
        if (node->getType().isMatrix() && node->getBasicType() != EbtFloat && errors.empty())
            errors.push_back({node->getLoc(),
                              "'" + HlslTypeName(node->getType()) +
                                  "': a matrix of ints or bools is not drawn: the drawing language has none",
                              3000});
        if (TIntermBinary* binary = node->getAsBinaryNode()) {
            binary->setLeft(Mend(binary->getLeft()));
            binary->setRight(Mend(binary->getRight()));
            Product(*binary);
        } else if (TIntermUnary* unary = node->getAsUnaryNode()) {
            unary->setOperand(Mend(unary->getOperand()));
            if (unary->getOp() == EOpRound)
                unary->setOp(EOpRoundEven);
            if (PerComponent(unary->getOp()) && unary->getOperand()->getType().isMatrix())
                return ByRows(*unary, {unary->getOperand()});
        } else if (TIntermAggregate* aggregate = node->getAsAggregate()) {
            std::vector<TIntermTyped*> arguments;
            bool matrix = false;
            for (TIntermNode*& child : aggregate->getSequence()) {
                child = MendNode(child);
                if (TIntermTyped* typed = child ? child->getAsTyped() : nullptr) {
                    arguments.push_back(typed);
                    matrix = matrix || typed->getType().isMatrix();
                }
            }
            if (PerComponent(aggregate->getOp()) && matrix && arguments.size() == aggregate->getSequence().size())
                return ByRows(*aggregate, arguments);
        } else if (TIntermSelection* selection = node->getAsSelectionNode()) {
            Selection(*selection);
        }
        return node;
    }

    TIntermNode* MendNode(TIntermNode* node)
    {
        if (!node)
            return node;
        if (TIntermTyped* typed = node->getAsTyped())
            return Mend(typed);
        if (TIntermBranch* branch = node->getAsBranchNode()) {
            branch->setExpression(Mend(branch->getExpression()));
        } else if (TIntermLoop* loop = node->getAsLoopNode()) {
            Mend(loop->getTest());
            Mend(loop->getTerminal());
            MendNode(loop->getBody());
        } else if (TIntermSwitch* choice = node->getAsSwitchNode()) {
            MendNode(choice->getCondition());
            MendNode(choice->getBody());
        }
        return node;
    }

private:
    void Selection(TIntermSelection& selection)
    {
        selection.setCondition(Mend(selection.getCondition()));
        TIntermNode* yes = MendNode(selection.getTrueBlock());
        TIntermNode* no = MendNode(selection.getFalseBlock());
        if (yes && yes->getAsTyped())
            selection.setTrueBlock(yes->getAsTyped());
        if (no && no->getAsTyped())
            selection.setFalseBlock(no->getAsTyped());
    }

    // The character of the effect's text at a node's place.
    char At(const TSourceLoc& loc) const
    {
        int line = 0, column = 0;
        if (!place_.Of(loc, line, column))
            return 0;
        const std::string_view text = place_.source.LineText(line);
        return size_t(column - 1) < text.size() ? text[size_t(column - 1)] : 0;
    }

    bool GivenAsDivision(const TSourceLoc& loc) const
    {
        return place_.divisions &&
               std::find(place_.divisions->begin(), place_.divisions->end(), std::make_pair(loc.line, loc.column)) !=
                   place_.divisions->end();
    }

    // A matrix cut to `columns` by `rows` of glslang's, as HLSL cuts the larger operand.
    TIntermTyped* Cut(TIntermTyped* matrix, int columns, int rows) const
    {
        if (matrix->getType().getMatrixCols() == columns && matrix->getType().getMatrixRows() == rows)
            return matrix;
        TType type(matrix->getBasicType(), EvqTemporary, 0, columns, rows);
        TIntermAggregate* cut = new TIntermAggregate(stage_.mapTypeToConstructorOp(type));
        cut->getSequence().push_back(matrix);
        cut->setType(type);
        cut->setLoc(matrix->getLoc());
        return cut;
    }

    // `*` between matrices multiplies element by element, as `/` divides,
    // the larger cut to the smaller; between a matrix and a vector it is refused.
    void Product(TIntermBinary& binary)
    {
        const TOperator op = binary.getOp();
        const TType& a = binary.getLeft()->getType();
        const TType& b = binary.getRight()->getType();
        const bool star = At(binary.getLoc()) == '*';
        const bool matrices = a.isMatrix() && b.isMatrix();
        // `*=` cuts its value to its variable, which cannot grow.
        const bool fits = b.getMatrixCols() >= a.getMatrixCols() && b.getMatrixRows() >= a.getMatrixRows();
        if (star && (op == EOpVectorTimesMatrix || op == EOpMatrixTimesVector || op == EOpVectorTimesMatrixAssign ||
                     (op == EOpMatrixTimesMatrixAssign && !fits))) {
            errors.push_back(
                {binary.getLoc(), "'" + HlslTypeName(a) + "' and '" + HlslTypeName(b) + "' differ in shape"});
        } else if (matrices && (op == EOpDiv || op == EOpDivAssign) && GivenAsDivision(binary.getLoc())) {
            binary.setOp(op == EOpDiv ? EOpMul : EOpMulAssign);
        } else if (matrices && op == EOpMatrixTimesMatrixAssign && star) {
            binary.setRight(Cut(binary.getRight(), a.getMatrixCols(), a.getMatrixRows()));
            binary.setOp(EOpMulAssign);
        } else if (matrices && op == EOpMatrixTimesMatrix && star) {
            const int columns = std::min(a.getMatrixCols(), b.getMatrixCols());
            const int rows = std::min(a.getMatrixRows(), b.getMatrixRows());
            binary.setLeft(Cut(binary.getLeft(), columns, rows));
            binary.setRight(Cut(binary.getRight(), columns, rows));
            binary.setType(binary.getLeft()->getType());
            binary.setOp(EOpMul);
        }
    }

    // A value that may be read several times: itself where reading it has
    // no cost, else a temporary that `first` gives it.
    TIntermTyped* Kept(TIntermTyped* value, std::vector<TIntermTyped*>& first)
    {
        if (value->getAsSymbolNode() || value->getAsConstantUnion())
            return value;
        TIntermSymbol* temporary = temporaries_.Make(value->getType(), "zl_part", value->getLoc());
        TIntermBinary* assign = new TIntermBinary(EOpAssign);
        assign->setLeft(temporary);
        assign->setRight(value);
        assign->setType(temporary->getType());
        assign->setLoc(value->getLoc());
        first.push_back(assign);
        return ReadAgain(*temporary);
    }

    // `op` of matrices as a matrix of `op` of their rows (glslang's columns).
    TIntermTyped* ByRows(TIntermOperator& node, const std::vector<TIntermTyped*>& arguments)
    {
        const TType& type = node.getType();
        if (!type.isMatrix())
            return &node; // not a value glslang keeps: left for it to refuse
        const TSourceLoc& loc = node.getLoc();
        std::vector<TIntermTyped*> first;
        std::vector<TIntermTyped*> kept;
        for (TIntermTyped* argument : arguments)
            kept.push_back(Kept(argument, first));
        TIntermAggregate* made = new TIntermAggregate(stage_.mapTypeToConstructorOp(type));
        made->setType(type);
        made->setLoc(loc);
        const TType row(type, 0);
        for (int k = 0; k < type.getMatrixCols(); ++k) {
            std::vector<TIntermTyped*> parts;
            for (TIntermTyped* argument : kept) {
                if (!argument->getType().isMatrix()) {
                    parts.push_back(argument);
                    continue;
                }
                TIntermBinary* index = new TIntermBinary(EOpIndexDirect);
                index->setLeft(argument);
                index->setRight(stage_.addConstantUnion(k, loc));
                index->setType(TType(argument->getType(), 0));
                index->setLoc(loc);
                parts.push_back(index);
            }
            TIntermTyped* part = nullptr;
            if (node.getAsUnaryNode()) {
                part = stage_.addUnaryNode(node.getOp(), parts[0], loc, row);
            } else {
                TIntermAggregate* call = new TIntermAggregate(node.getOp());
                for (TIntermTyped* p : parts)
                    call->getSequence().push_back(p);
                call->setType(row);
                call->setLoc(loc);
                part = call;
            }
            made->getSequence().push_back(part);
        }
        if (first.empty())
            return made;
        TIntermAggregate* sequence = new TIntermAggregate(EOpComma);
        for (TIntermTyped* assign : first)
            sequence->getSequence().push_back(assign);
        sequence->getSequence().push_back(made);
        sequence->setType(type);
        sequence->setLoc(loc);
        return sequence;
    }

    TIntermediate& stage_;
    const StageTextPlace& place_;
    TreeTemporaries temporaries_;
};

} // namespace

std::string MendTree(glslang::TIntermediate& stage, const StageTextPlace& place)
{
    TIntermNode* root = stage.getTreeRoot();
    if (!root)
        return {};
    Mender mender(stage, place);
    mender.MendNode(root);
    std::string errors;
    for (const auto& [loc, text, code] : mender.errors) {
        const bool author = loc.line >= 1 && loc.line <= place.sourceLines;
        const HlslSource::Origin origin = place.source.Locate(author ? loc.line : place.sourceLines);
        errors += FormatEffectError(place.source.FileOf(origin), origin.line, author ? loc.column : 1, code, text);
    }
    return errors;
}

namespace {

std::pair<int, int> RefusedOperation(const std::string& log)
{
    static constexpr std::string_view kRefused = "Could not perform requested binary operation";
    std::istringstream lines(log);
    int refused = 0;
    for (std::string line; std::getline(lines, line);) {
        if (refused == 0 && line.rfind("ERROR: 0:", 0) == 0 && line.find(kRefused) != std::string::npos)
            refused = std::atoi(line.c_str() + 9);
        const size_t column = line.find("): error at column ");
        if (refused != 0 && line.rfind("0(", 0) == 0 && column != std::string::npos &&
            std::atoi(line.c_str() + 2) == refused)
            return {refused, std::atoi(line.c_str() + column + 19)};
    }
    return {0, 0};
}

// Calls `each(begin, end, number)` for each line of the stage's text as
// glslang numbers them, after its `#line` markers, until it returns true.
template <class Each>
void ForEachLine(std::string_view text, Each&& each)
{
    int number = 1;
    for (size_t begin = 0; begin <= text.size();) {
        const size_t end = std::min(text.find('\n', begin), text.size());
        const std::string_view line = text.substr(begin, end - begin);
        if (line.rfind("#line ", 0) == 0) {
            number = std::atoi(std::string(line.substr(6)).c_str());
        } else {
            if (each(begin, end, number))
                return;
            ++number;
        }
        begin = end + 1;
    }
}

std::vector<size_t> ProductsBefore(const std::string& text, std::pair<int, int> stopped)
{
    std::vector<size_t> found;
    ForEachLine(text, [&](size_t begin, size_t end, int number) {
        if (number != stopped.first)
            return false;
        for (const Token& t : Tokenize(std::string_view(text).substr(begin, end - begin))) {
            const bool assigns = t.offset + 1 < end - begin && text[begin + t.offset + 1] == '=';
            if (t.Is('*') && !assigns && t.column < stopped.second)
                found.insert(found.begin(), begin + t.offset);
        }
        return true;
    });
    return found;
}

std::pair<int, int> PlaceOf(const std::string& text, size_t offset)
{
    std::pair<int, int> place{0, 0};
    ForEachLine(text, [&](size_t begin, size_t end, int number) {
        if (offset < begin || offset > end)
            return false;
        place = {number, int(offset - begin) + 1};
        return true;
    });
    return place;
}

} // namespace

bool ParseWithProductsAsDivisions(std::string& text, const StageParse& parse,
                                  std::vector<std::pair<int, int>>& divisions, std::string& log)
{
    if (parse(text, log))
        return true;
    // Each `*` the refusal may stand at, the nearest first, kept where the
    // reading goes further with it; a few tries at most.
    for (int tries = 0; tries < 16;) {
        const std::pair<int, int> stopped = RefusedOperation(log);
        bool further = false;
        for (size_t product : ProductsBefore(text, stopped)) {
            std::string attempt = text;
            attempt[product] = '/';
            ++tries;
            std::string attemptLog;
            const bool parsed = parse(attempt, attemptLog);
            const std::pair<int, int> next = RefusedOperation(attemptLog);
            if (parsed || next.first == 0 || next > stopped) {
                text = std::move(attempt);
                divisions.push_back(PlaceOf(text, product));
                log = std::move(attemptLog);
                if (parsed)
                    return true;
                further = next.first != 0;
                break;
            }
            if (tries >= 16)
                break;
        }
        if (!further)
            break;
    }
    return false;
}

} // namespace gfx
