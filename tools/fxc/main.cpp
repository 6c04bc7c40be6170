// The effect compiler: fxc.exe /T fx_2_0 [/O0../O3] /Fo "<output>" [/D NAME[=value]]... <source>
// Reads the source from the working directory (it and its includes regular
// files of at most 256 MiB, an include read only as far as includes may still
// add, its name found without regard to letter case where the exact one is
// missing, each folder read at most once and no more names of folders than a
// bound), applies the defines, preprocesses and parses it,
// and writes the compiled effect to the /Fo path. On an error it prints the
// messages, writes nothing and exits with 1, whatever the source
// holds (the shader compiler runs apart, shader_compile.h), also when memory
// or a thread runs short. It ends with the program that started it.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "kernel/file_buffer.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/os/file_replace.h"
#include "platform/os/path_case.h"

namespace {

// Why `path` cannot be read, or "" once `contents` holds its first `limit`
// bytes at most: no more is read, whatever size the file claims. Only a
// regular file is read, and at most as much as the program itself reads of
// one: a pipe or a device could keep the compiler waiting or reading for
// ever. The open never waits (a pipe without a writer) and what is checked is
// what was opened.
std::string ReadRegularFile(const std::string& path, size_t limit, std::string& contents)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const std::string bound = "over the bound of " + std::to_string(kLargestFileBytes) + " bytes (" +
                              std::to_string(kLargestFileBytes >> 20) + " MiB)";
    std::string why;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        why = "not a regular file (a folder, pipe or device)";
    } else if (static_cast<uint64_t>(status.st_size) > kLargestFileBytes) {
        why = std::to_string(status.st_size) + " bytes, " + bound;
    } else {
        contents.clear();
        contents.reserve(std::min(static_cast<size_t>(status.st_size), limit));
        char buffer[65536];
        while (contents.size() < limit) {
            const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - contents.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                why = std::strerror(errno);
                break;
            }
            if (n == 0)
                break;
            // A file that grows while it is read is bounded all the same.
            if (contents.size() + static_cast<size_t>(n) > kLargestFileBytes) {
                why = "grew while read, " + bound;
                break;
            }
            contents.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    if (!why.empty())
        contents.clear();
    return why;
}

int Usage(const std::string& why)
{
    std::cout << "fxc: " << why << "\n"
              << "usage: fxc /T fx_2_0 [/O0-3] /Fo <output> [/D NAME[=value]]... <source>\n";
    return 1;
}

int Compile(int argc, char** argv, std::string& source)
{
    // One short run that allocates some tens of megabytes on several threads:
    // the heap grows in large steps and never gives memory back, and no block
    // gets a mapping of its own, so the system is asked for memory rarely.
    mallopt(M_TOP_PAD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    std::string profile;
    std::string output;
    std::vector<gfx::EffectMacro> defines;

    auto value = [&](int& i, const std::string& arg, size_t prefix, std::string& into) {
        if (arg.size() > prefix) {
            into = arg.substr(prefix);
            return true;
        }
        if (i + 1 >= argc)
            return false;
        into = argv[++i];
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.empty())
            continue;  // a command line that begins with a blank yields an empty argument
        if (arg[0] != '/' && arg[0] != '-') {
            if (!source.empty())
                return Usage("more than one source file: '" + source + "' and '" + arg + "'");
            source = arg;
            continue;
        }
        std::string option = arg.substr(1);
        if (option.rfind("Fo", 0) == 0) {
            if (!value(i, arg, 3, output))
                return Usage("/Fo needs a file name");
        } else if (option.rfind("T", 0) == 0) {
            if (!value(i, arg, 2, profile))
                return Usage("/T needs a profile");
        } else if (option.rfind("D", 0) == 0) {
            std::string define;
            if (!value(i, arg, 2, define))
                return Usage("/D needs a name");
            size_t equals = define.find('=');
            gfx::EffectMacro macro;
            macro.name = define.substr(0, equals);
            macro.definition = equals == std::string::npos ? "1" : define.substr(equals + 1);
            defines.push_back(macro);
        } else if (option == "O0" || option == "O1" || option == "O2" || option == "O3" ||
                   option == "nologo") {
            // Optimisation levels change nothing the effect keeps.
        } else {
            return Usage("unknown option '" + arg + "'");
        }
    }
    if (profile != "fx_2_0")
        return Usage(profile.empty() ? "no target profile (/T fx_2_0)"
                                     : "unsupported target profile '" + profile + "'");
    if (output.empty())
        return Usage("no output file (/Fo)");
    if (source.empty())
        return Usage("no source file");

    std::string text;
    if (const std::string why = ReadRegularFile(source, kLargestFileBytes + 1, text); !why.empty()) {
        std::cout << source << "(0,0): error X1507: failed to open source file: '" << source << "': " << why << "\n";
        return 1;
    }
    // One finder for the whole compile: each folder is read at most once.
    platform::os::CaseFinder finder;
    auto readInclude = [&finder](const std::string& path, size_t limit, std::string& contents) {
        std::string why;
        const std::string found = finder.Find(path, why);
        if (found.empty())
            return why;
        return ReadRegularFile(found, std::min<size_t>(limit, kLargestFileBytes + 1), contents);
    };
    gfx::EffectDescription description;
    std::string messages;
    const bool compiled = gfx::CompileEffectSource(text, source, defines, readInclude, description, messages);
    if (!compiled) {
        std::cout << messages << "compilation failed; no code produced\n";
        return 1;
    }
    std::cout << messages; // warnings
    static_assert(gfx::kMaxCompiledEffectBytes == kLargestFileBytes, "a compiled file is one the program reads");
    const std::vector<uint8_t> bytes = gfx::WriteCompiledEffect(description);
    // Empty only past the bound the compile held it to.
    if (bytes.empty() ||
        !platform::ReplaceFileContents(output, {reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
        std::cout << "fxc: cannot write the output file '" << output << "'\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string source;
    // What runs short outside the effect compiler (reading the file, writing
    // the result) is said the same way as within it.
    try {
        return Compile(argc, argv, source);
    } catch (const std::exception& e) {
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        std::cout << gfx::FormatEffectError(source.empty() ? "fxc" : source, 1, 1, 3000,
                                            std::string("the effect could not be compiled: ") +
                                                (memory ? "out of memory" : e.what()))
                  << "compilation failed; no code produced\n";
    }
    return 1;
}
