// The walk through an effect's files: comments out, logical lines in, each line a
// directive or text to expand; and PreprocessEffect, which starts it.
#include "platform/gfx/fx/preprocessor/preprocessor_state.h"

namespace gfx {
namespace pp {
namespace {

// `#define NAME` with nothing after the name: where a backslash ends such a
// line, the platform's compiler ends the name there, and the body follows on
// the next lines.
bool DefineNameOnly(std::string_view line)
{
    size_t i = 0;
    const auto blanks = [&] {
        const size_t from = i;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        return i > from;
    };
    blanks();
    if (i >= line.size() || line[i] != '#')
        return false;
    ++i;
    blanks();
    if (line.substr(i, 6) != "define")
        return false;
    i += 6;
    if (!blanks() || i >= line.size() || !IsIdentStart(line[i]))
        return false;
    return SkipIdentChars(line, i) == line.size();
}

} // namespace

bool LineReader::Next(LogicalLine& out)
{
    if (done_)
        return false;
    out.line = line_;
    out.span = 0;
    joined_.clear();
    bool joining = false;
    for (;;) {
        const size_t end = text_.find('\n', start_);
        const bool last = end == std::string_view::npos;
        std::string_view physical = text_.substr(start_, (last ? text_.size() : end) - start_);
        if (!physical.empty() && physical.back() == '\r')
            physical.remove_suffix(1);
        ++out.span;
        ++line_;
        if (last)
            done_ = true;
        else
            start_ = end + 1;
        if (!physical.empty() && physical.back() == '\\' && !last) {
            physical.remove_suffix(1);
            joined_.append(physical);
            if (!joining && DefineNameOnly(physical))
                joined_ += ' ';
            joining = true;
            continue;
        }
        if (!joining) {
            out.text = physical;
            return true;
        }
        joined_.append(physical);
        out.text = joined_;
        return true;
    }
}

bool Preprocessor::RemoveComments(std::string_view source, std::string& clean)
{
    // A block comment becomes a blank but keeps its line ends, so line numbers
    // stay those of the source.
    clean.reserve(source.size());
    int line = 1;
    for (size_t i = 0; i < source.size();) {
        if (!Step())
            return false;
        const char c = source[i];
        // `\"` outside a string opens none (macros' bodies may write strings so).
        if (c == '"' && !(i > 0 && source[i - 1] == '\\')) {
            bool closed = false;
            const size_t end = StringEnd(source, i, closed);
            clean.append(source.substr(i, end - i));
            i = end;
        } else if (StartsComment(source, i)) {
            const size_t end = CommentEnd(source, i);
            if (end == std::string_view::npos) {
                Error(line, 1, 1001, "unexpected end of file in a comment");
                return false;
            }
            if (source[i + 1] == '*')
                clean += ' ';
            for (size_t k = i; k < end; ++k)
                if (source[k] == '\n') {
                    clean += '\n';
                    currentLine_ = ++line;
                }
            i = end;
        } else if (c == '\n') {
            clean += c;
            currentLine_ = ++line;
            ++i;
        } else {
            size_t end = i + 1;
            while (end < source.size() && source[end] != '"' && source[end] != '/' && source[end] != '\n')
                ++end;
            clean.append(source.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

void Preprocessor::ProcessFile(std::string_view source, const std::string& fileName, int depth)
{
    const std::string savedFile = file_;
    const int savedLine = currentLine_;
    file_ = fileName;
    includers_.push_back(fileName);
    currentLine_ = 1;
    if (source.substr(0, 3) == "\xEF\xBB\xBF")
        source.remove_prefix(3);  // editors may save effects with a UTF-8 mark
    Append("#line 1 \"" + fileName + "\"\n");
    std::string clean;
    if (RemoveComments(source, clean)) {
        std::vector<Conditional> conditions;
        LineReader lines(clean);
        LogicalLine line;
        while (lines.Next(line)) {
            currentLine_ = line.line;
            if (platform::CloseSignalReceived())
                Closing();
            if (stopped_)
                break;
            size_t first = 0;
            while (first < line.text.size() && IsBlank(line.text[first]))
                ++first;
            const bool active = conditions.empty() || conditions.back().active;
            if (active)
                tokenBytes_ += TokenBytes(line.text);
            if (first < line.text.size() && line.text[first] == '#') {
                const size_t before = out_.size();
                Directive(line, first, conditions, depth);
                if (out_.size() != before) {
                    // An include: resume this file's numbering after it.
                    Append("#line " + std::to_string(line.line + line.span) + " \"" + fileName + "\"\n");
                    continue;
                }
            } else if (active) {
                ExpandLine(line, lines);
            }
            for (int k = 0; k < line.span; ++k)
                Append("\n");
        }
        if (!stopped_)
            for (const Conditional& open : conditions)
                Error(open.line, 1, 1004, "unterminated conditional directive");
    }
    includers_.pop_back();
    file_ = savedFile;
    currentLine_ = savedLine;
}

} // namespace pp

bool PreprocessEffect(std::string_view source, const std::string& fileName,
                      const std::vector<EffectMacro>& defines, const EffectFileReader& reader,
                      std::string& output, std::string& messages, size_t* tokenBytes)
{
    output.clear();
    pp::Preprocessor preprocessor(reader, output, messages);
    for (const EffectMacro& macro : defines) {
        std::string_view name = pp::Trim(macro.name);
        if (!IsIdentifier(name)) {
            messages += FormatEffectError(fileName, 1, 1, 1010,
                                          "invalid define name '" + std::string(name) + "'");
            return false;
        }
        preprocessor.Define(std::string(name), macro.definition);
    }
    preprocessor.ProcessFile(source, fileName, 0);
    if (tokenBytes)
        *tokenBytes = preprocessor.TokenBytesRead();
    if (preprocessor.Failed()) {
        output.clear();
        return false;
    }
    return true;
}

} // namespace gfx
