#include "platform/gfx/fx/hlsl/tree_nodes.h"

#include <algorithm>

#include <glslang/MachineIndependent/localintermediate.h>

namespace gfx {

bool StageTextPlace::Of(const glslang::TSourceLoc& loc, int& line, int& column) const
{
    line = loc.line;
    column = loc.column - (loc.line == 1 ? static_cast<int>(preludeSize) : 0);
    return line >= 1 && line <= sourceLines && column >= 1;
}

std::string HlslTypeName(const glslang::TType& type)
{
    const glslang::TBasicType basic = type.getBasicType();
    const std::string name = basic == glslang::EbtInt      ? "int"
                             : basic == glslang::EbtUint   ? "uint"
                             : basic == glslang::EbtBool   ? "bool"
                             : basic == glslang::EbtDouble ? "double"
                                                           : "float";
    if (type.isMatrix())
        return name + std::to_string(type.getMatrixCols()) + "x" + std::to_string(type.getMatrixRows());
    return type.isVector() ? name + std::to_string(type.getVectorSize()) : name;
}

glslang::TIntermSymbol* TreeTemporaries::Make(const glslang::TType& type, const char* name,
                                              const glslang::TSourceLoc& loc)
{
    if (nextId_ == 0) {
        // Counted when the first is made: most stages need none.
        struct Highest : glslang::TIntermTraverser {
            long long id = 0;
            void visitSymbol(glslang::TIntermSymbol* s) override { id = std::max(id, s->getId()); }
        } highest;
        stage_.getTreeRoot()->traverse(&highest);
        nextId_ = highest.id + 1;
    }
    glslang::TType own;
    own.shallowCopy(type);
    own.getQualifier().makeTemporary();
    glslang::TIntermSymbol* symbol = new glslang::TIntermSymbol(nextId_++, *glslang::NewPoolTString(name), own);
    symbol->setLoc(loc);
    return symbol;
}

glslang::TIntermSymbol* ReadAgain(const glslang::TIntermSymbol& symbol)
{
    glslang::TIntermSymbol* again = new glslang::TIntermSymbol(symbol.getId(), symbol.getName(), symbol.getType());
    again->setLoc(symbol.getLoc());
    return again;
}

} // namespace gfx
