// Any text through each rewrite of the shader text (rewrites/): every line
// stays where it was, and what follows the rewritten part of a line keeps
// its column, unless the line had too few blanks after it to take what the
// rewrite put in. Messages name the author's places through them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/gfx/fx/rewrites/array_casts.h"
#include "platform/gfx/fx/rewrites/constructor_targets.h"
#include "platform/gfx/fx/rewrites/flat_lists.h"
#include "platform/gfx/fx/rewrites/literal_swizzles.h"
#include "platform/gfx/fx/rewrites/loop_variables.h"
#include "platform/gfx/fx/rewrites/matrix_swizzles.h"
#include "platform/gfx/fx/rewrites/one_component_targets.h"
#include "platform/gfx/fx/rewrites/text_insertions.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"

namespace {

// Whether `line` holds a blank from `from` on that a rewrite could have
// taken for what it put in before it: one outside a string whose going runs
// no two characters together (as rewrites/text_insertions.h takes them).
bool HasRoom(std::string_view line, size_t from)
{
    bool quoted = false;
    for (size_t k = 0; k + 1 < line.size(); ++k) {
        quoted = line[k] == '"' ? !quoted : quoted;
        if (k < from || k == 0 || quoted || !gfx::IsBlank(line[k]))
            continue;
        if (!gfx::RunTogether(line[k - 1], line[k + 1]))
            return true;
    }
    return false;
}

void Check(std::string_view before, std::string_view after, const char* rewrite, bool columns = true)
{
    const auto fail = [&](const char* what, size_t line) {
        std::fprintf(stderr, "%s: %s at line %zu\n", rewrite, what, line);
        std::abort();
    };
    if (std::count(before.begin(), before.end(), '\n') != std::count(after.begin(), after.end(), '\n'))
        fail("the lines moved", 0);
    for (size_t line = 1; columns && (!before.empty() || !after.empty()); ++line) {
        const std::string_view was = before.substr(0, before.find('\n'));
        const std::string_view is = after.substr(0, after.find('\n'));
        // What follows the last change: the end the two have in common.
        size_t same = 0;
        while (same < was.size() && same < is.size() && was[was.size() - 1 - same] == is[is.size() - 1 - same])
            ++same;
        if (is.size() < was.size() || (is.size() > was.size() && HasRoom(is, is.size() - same)))
            fail("what follows a rewritten part moved where its line had room", line);
        before.remove_prefix(std::min(before.size(), was.size() + 1));
        after.remove_prefix(std::min(after.size(), is.size() + 1));
    }
}

template <typename Rewrite> void Run(const std::string& text, Rewrite rewrite, const char* name)
{
    std::string rewritten = text;
    rewrite(rewritten);
    Check(text, rewritten, name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Run(text, gfx::RewriteFlatLists, "flat lists");
    Run(text, gfx::RewriteConstructorTargets, "constructor targets");
    Run(text, gfx::RewriteOneComponentTargets, "one-component targets");
    Run(text, gfx::RewriteLiteralSwizzles, "literal swizzles");
    Run(text, gfx::RewriteLoopVariables, "loop variables");
    Run(text, gfx::RewriteMatrixSwizzleWrites, "matrix swizzle writes");
    Run(text, gfx::RewriteArrayCasts, "array casts");
    // In the order the shaders' text takes them, each on what the last left:
    // the room a line had is each one's to judge.
    std::string all = text;
    gfx::RewriteFlatLists(all);
    gfx::RewriteConstructorTargets(all);
    gfx::RewriteOneComponentTargets(all);
    gfx::RewriteLiteralSwizzles(all);
    gfx::RewriteLoopVariables(all);
    gfx::RewriteMatrixSwizzleWrites(all);
    gfx::RewriteArrayCasts(all);
    Check(text, all, "all in turn", false);
    return 0;
}
