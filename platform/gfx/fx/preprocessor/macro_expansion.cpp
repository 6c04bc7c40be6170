// Macro expansion: object- and function-like macros, their arguments (over
// several lines too), # and ##, all held to the bounds of growth and of work.
#include <algorithm>

#include "platform/gfx/fx/preprocessor/preprocessor_state.h"

namespace gfx::pp {

void Preprocessor::ExpandLine(LogicalLine& line, LineReader& lines)
{
    // Only what expansion adds counts: a line may grow by what the lines before it
    // left of the budget. A line that shrinks gives nothing back.
    std::string_view text = line.text;
    expansionBudget_ = text.size() + growthLeft_;
    line_.clear();
    OpenCall open;
    if (!Expand(text, line_, 0, &open))
        return;
    size_t from = 0; // where the rest of the text is expanded from
    while (open.start != std::string_view::npos) {
        // The call's arguments go on to the lines after it, joined to this one
        // until its brackets close; the lines it took stay empty after it.
        if (text.data() != joined_.data())
            joined_.assign(text);
        from += open.start;
        const size_t callAt = from;
        LogicalLine next;
        while (open.brackets > 0 && lines.Next(next)) {
            if (!Step())
                return;
            line.span += next.span;
            tokenBytes_ += TokenBytes(next.text);
            joined_ += ' ';
            joined_.append(next.text);
            for (size_t k = 0; k < next.text.size() && open.brackets > 0; ++k) {
                const char c = next.text[k];
                if (c == '"') {
                    bool closed = false;
                    k = StringEnd(next.text, k, closed) - 1;
                } else if (c == '(') {
                    ++open.brackets;
                } else if (c == ')') {
                    --open.brackets;
                }
            }
        }
        text = joined_;
        expansionBudget_ = text.size() + growthLeft_;
        open = {};
        if (!Expand(text.substr(from), line_, 0, &open))
            return;
        if (open.start != std::string_view::npos && from + open.start == callAt) {
            // The effect ended first.
            const std::string_view rest = text.substr(callAt);
            Error(line.line, static_cast<int>(callAt) + 1, 1007,
                  "unexpected end of file in the arguments of macro '" +
                      std::string(rest.substr(0, SkipIdentChars(rest, 0))) + "'");
            return;
        }
    }
    // Text that a macro made is never a directive: only the markers written
    // here move the place that messages name.
    const size_t first = line_.find_first_not_of(" \t\r\f\v");
    if (first != std::string::npos && line_[first] == '#') {
        Error(line.line, static_cast<int>(first) + 1, 1002, "a macro makes the line '" + line_.substr(first, 40) +
                                                                "', which is not a directive: '#' is unexpected");
        return;
    }
    growthLeft_ -= std::max(line_.size(), text.size()) - text.size();
    Append(line_);
}

bool Preprocessor::Expand(std::string_view text, std::string& into, int depth, OpenCall* open)
{
    if (depth > kMaxExpansionDepth) {
        Stop(currentLine_, 1, "macro expansion nested too deeply");
        return false;
    }
    // The effect's own text costs nothing; what expansion made counts again
    // each time it is read.
    const bool made = depth > 0;
    if (made && !Charge(text.size()))
        return false;
    size_t copied = 0;  // the text before this is in `into`
    size_t i = 0;
    std::vector<std::string_view> args;
    while (i < text.size()) {
        if (!Step())
            return false;
        const char c = text[i];
        // A logical line holds no line end, so a string runs to its quote.
        if (c == '"') {
            bool closed = false;
            i = StringEnd(text, i, closed);
            continue;
        }
        if (StartsNumber(text, i)) {
            i = NumberEnd(text, i, true);
            continue;
        }
        if (!IsIdentStart(c)) {
            // Up to what might start a name, a number or a string.
            ++i;
            while (i < text.size() && !IsIdentChar(text[i]) && text[i] != '"' && text[i] != '.')
                ++i;
            continue;
        }
        const size_t start = i;
        i = SkipIdentChars(text, i);
        const std::string_view name = text.substr(start, i - start);
        Macro* macro = macros_.empty() ? nullptr : Find(name);
        if (macro == nullptr || macro->expanding)
            continue;
        if (macro->functionLike) {
            size_t bracket = i;
            while (bracket < text.size() && IsBlank(text[bracket]))
                ++bracket;
            if (bracket >= text.size() || text[bracket] != '(')
                continue;  // a function-like macro's name alone is not a call
            size_t end = 0;
            size_t brackets = 0;
            args.clear();
            if (!Arguments(text, bracket, args, end, brackets))
                return false;
            if (end == std::string_view::npos) {
                if (!Produce(into, text.substr(copied, start - copied), made))
                    return false;
                if (open) {
                    *open = {start, brackets};
                    return true;
                }
                Error(currentLine_, static_cast<int>(start) + 1, 1007,
                      "unexpected end of line in the arguments of macro '" + std::string(name) + "'");
                return true;
            }
            i = end;
        }
        if (!Produce(into, text.substr(copied, start - copied), made) || !Charge(kCallWork))
            return false;
        copied = i;
        if (!macro->functionLike) {
            macro->expanding = true;
            const bool go = Expand(macro->body, into, depth + 1);
            macro->expanding = false;
            if (!go)
                return false;
            continue;
        }
        if (macro->params == 0 && args.size() == 1 && args[0].empty())
            args.clear();
        if (args.size() != macro->params) {
            Error(currentLine_, static_cast<int>(start) + 1, 1007,
                  "macro '" + std::string(name) + "' expects " + std::to_string(macro->params) +
                      " arguments, not " + std::to_string(args.size()));
            continue;
        }
        std::string substituted;
        if (!Substitute(*macro, args, substituted, depth))
            return false;
        macro->expanding = true;
        const bool go = Expand(substituted, into, depth + 1);
        macro->expanding = false;
        if (!go)
            return false;
    }
    return Produce(into, text.substr(copied), made);
}

// The arguments of the call whose '(' is at `open`, without the blanks around
// them; `end` is past the call's ')', or npos when the text ends before it,
// `brackets` then how many stay open.
bool Preprocessor::Arguments(std::string_view text, size_t open, std::vector<std::string_view>& args,
                             size_t& end, size_t& brackets)
{
    size_t nesting = 0;
    size_t from = open + 1;
    for (size_t k = open + 1; k < text.size(); ++k) {
        if (!Step())
            return false;
        const char a = text[k];
        if (a == '"') {
            bool closed = false;
            k = StringEnd(text, k, closed) - 1;
        } else if (a == '(') {
            ++nesting;
        } else if (a == ')' && nesting > 0) {
            --nesting;
        } else if ((a == ',' || a == ')') && nesting == 0) {
            args.push_back(Trim(text.substr(from, k - from)));
            from = k + 1;
            if (a == ')') {
                end = k + 1;
                return true;
            }
        }
    }
    end = std::string_view::npos;
    brackets = nesting + 1;
    return true;
}

bool Preprocessor::Substitute(const Macro& macro, const std::vector<std::string_view>& args,
                              std::string& out, int depth)
{
    // An argument is expanded once, when it is first used.
    std::vector<std::string> expanded(args.size());
    std::vector<bool> done(args.size(), false);
    for (const Macro::Piece& piece : macro.pieces) {
        if (!Step())
            return false;
        bool go = true;
        switch (piece.kind) {
        case Macro::Kind::kText:
            go = Produce(out, std::string_view(macro.body).substr(piece.offset, piece.size));
            break;
        case Macro::Kind::kRaw:
            go = Produce(out, args[piece.param]);
            break;
        case Macro::Kind::kArgument:
            if (!done[piece.param]) {
                done[piece.param] = true;
                if (!Expand(args[piece.param], expanded[piece.param], depth + 1))
                    return false;
            }
            go = Produce(out, expanded[piece.param]);
            break;
        case Macro::Kind::kString:
            go = Stringize(args[piece.param], out);
            break;
        case Macro::Kind::kJoin:
            while (!out.empty() && IsBlank(out.back()))
                out.pop_back();
            break;
        }
        if (!go)
            return false;
    }
    return true;
}

bool Preprocessor::Stringize(std::string_view arg, std::string& out)
{
    const auto escaped = static_cast<size_t>(std::count_if(arg.begin(), arg.end(), [](char a) { return a == '"' || a == '\\'; }));
    const size_t size = arg.size() + escaped + 2;
    if (!Charge(size))
        return false;
    if (out.size() + size > expansionBudget_) {
        GrowthSpent();
        return false;
    }
    out += '"';
    for (char a : arg) {
        if (a == '"' || a == '\\')
            out += '\\';
        out += a;
    }
    out += '"';
    return true;
}

} // namespace gfx::pp
