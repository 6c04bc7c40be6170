#pragma once
// The variables a `for` statement declares, as the platform's compiler keeps
// them: in the scope around the loop, so that they are read after it, and a
// later loop's of the same name in that scope is declared again (warning
// X3078) and is the one read from there on. The shader compiler keeps them
// to the loop. So where a loop's variable is named after it in its block, the
// declaration goes before the loop in a block of its own that runs to the end
// of the block around it: `for (int i = 0; ...)` becomes
// `{int i;for (    i = 0; ...)`, the type's place blank, and a '}' goes
// before the block's own; a later loop of that name, in a block of its own
// too, declares it again within the first's. What is put in takes the place
// of blanks after it on its line (rewrites/text_insertions.h).
#include <cstddef>
#include <string>
#include <vector>

namespace gfx {

// A loop variable declared again in its scope, where the author named it.
struct RedeclaredLoopVariable {
    int line = 0; // of the text, the same before and after
    int column = 0;
    std::string name;
};

// Rewrites the loops of `text` in place; returns the variables declared again, in order.
std::vector<RedeclaredLoopVariable> RewriteLoopVariables(std::string& text);

} // namespace gfx
