// #include: the places an include is looked for, beside the including file and up
// the chain, each path read once and held to the bound of what includes add.
#include <algorithm>

#include "platform/gfx/fx/preprocessor/preprocessor_state.h"
#include "platform/os/path_case.h"

namespace gfx::pp {
namespace {

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// An include's name as a path here: a backslash separates folders as '/'
// does, and a run of separators is one.
std::string PathOf(std::string_view name)
{
    std::string path;
    for (char c : name) {
        const char d = c == '\\' ? '/' : c;
        if (!(d == '/' && !path.empty() && path.back() == '/'))
            path += d;
    }
    return path;
}

} // namespace

const Preprocessor::IncludedFile* Preprocessor::Read(const std::string& path, size_t markers)
{
    // A path looked for many times is looked for once (a file cut short at a
    // bound that has since grown would be read again, but bounds only shrink).
    const uint32_t found = fileIndex_.Find(path);
    if (found != NameTable::kNone)
        return &files_[found];
    if (markers > includedLeft_)
        return nullptr;
    files_.push_back({path, {}, {}, includedLeft_ - markers + 1});
    IncludedFile& file = files_.back();
    fileIndex_.Add(file.path, static_cast<uint32_t>(files_.size() - 1));
    file.why = reader_ ? reader_(path, file.limit, file.text) : "no file can be read here";
    // A place where the file is not costs what its path would, so that the
    // work of looking in many places is bounded with what includes add.
    if (file.why.starts_with(kNoSuchEffectFile)) {
        const size_t look = path.size() + 32;
        if (look > includedLeft_)
            return nullptr;
        includedLeft_ -= look;
    }
    return &file;
}

void Preprocessor::IncludeDirective(std::string_view rest, int line, int column, int depth)
{
    char closer = 0;
    if (!rest.empty() && rest.front() == '"')
        closer = '"';
    else if (!rest.empty() && rest.front() == '<')
        closer = '>';
    size_t end = closer ? rest.find(closer, 1) : std::string_view::npos;
    if (end == std::string_view::npos || end == 1) {
        Error(line, column, 1005, "#include expects \"file\" or <file>");
        return;
    }
    const std::string name(rest.substr(1, end - 1));
    if (depth + 1 >= kMaxIncludeDepth) {
        Stop(line, column, "#include nested too deeply: " + QuotedPiece(name));
        return;
    }
    const std::string overBound = "#include " + QuotedPiece(name) +
                                  " takes what includes add to the effect over their bound of " + Bound(kMaxIncludedText);
    // Looked for as the platform's compiler looks: beside the file that
    // includes it, then beside each file that included that one up to the top
    // file, then in the folder the compiler runs in.
    const std::string written = PathOf(name);
    std::vector<std::string> places;
    if (written.front() == '/') {
        places.push_back(platform::os::PlatformPath(written));
    } else {
        for (size_t k = includers_.size(); k-- > 0;)
            places.push_back(platform::os::PlatformPath(FolderOf(includers_[k]) + written));
        places.push_back(platform::os::PlatformPath(written));
    }
    // The line markers before and after a file's text.
    const auto markers = [&](const std::string& path) { return path.size() + file_.size() + 32; };
    const IncludedFile* file = nullptr;
    std::string lookedFor;
    for (size_t k = 0; k < places.size(); ++k) {
        if (std::find(places.begin(), places.begin() + static_cast<ptrdiff_t>(k), places[k]) !=
            places.begin() + static_cast<ptrdiff_t>(k))
            continue;
        lookedFor += (lookedFor.empty() ? "" : ", ") + QuotedPiece(places[k]);
        file = Read(places[k], markers(places[k]));
        if (!file) {
            Stop(line, column, overBound);
            return;
        }
        if (!file->why.starts_with(kNoSuchEffectFile))
            break;
    }
    // The platform's compiler goes no further than an include it cannot open.
    if (!file->why.empty()) {
        Stop(line, column,
             "cannot open include file " + QuotedPiece(name) + " (looked for as " + lookedFor + "): " + file->why, 1005);
        return;
    }
    const size_t cost = file->text.size() + markers(file->path);
    if (cost > includedLeft_) {
        Stop(line, column, overBound);
        return;
    }
    // What no text holds: nothing of it is quoted in a message.
    if (const size_t nul = file->text.find('\0'); nul != std::string::npos) {
        const auto lineOfNul = 1 + std::count(file->text.begin(), file->text.begin() + static_cast<ptrdiff_t>(nul), '\n');
        Stop(line, column,
             "include file " + QuotedPiece(name) + " is not text: its line " + std::to_string(lineOfNul) +
                 " holds a NUL byte",
             1005);
        return;
    }
    includedLeft_ -= cost;
    ProcessFile(file->text, file->path, depth + 1);
}

} // namespace gfx::pp
