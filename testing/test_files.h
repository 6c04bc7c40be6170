#pragma once
// Small helpers shared by the test and benchmark programs: temporary folders,
// reading files and splitting text into lines, and catching what goes to
// std::cout. Header only: every program includes it on its own.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace zandrel_test {

namespace fs = std::filesystem;

// The whole file, or "" when it cannot be read.
inline std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The whole file's bytes, or none when it cannot be read.
inline std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A new, empty folder under the system's temporary folder.
inline fs::path MakeTempDir(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

// A temporary folder removed with everything in it when the object goes.
class TempDir {
public:
    explicit TempDir(const std::string& prefix) : dir_(MakeTempDir(prefix)) {}
    ~TempDir()
    {
        std::error_code ignored;
        if (!dir_.empty())
            fs::remove_all(dir_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Dir() const { return dir_; }
    fs::path Path(const std::string& name) const { return dir_ / name; }
    void Write(const std::string& name, const std::string& text) const { WriteFile(dir_ / name, text); }
    // Leaves the folder on disk when the object goes.
    void Forget() { dir_.clear(); }

private:
    fs::path dir_;
};

// A new, empty folder of this test program under the system's temporary
// folder, removed with everything in it when the program ends (by this
// process only: a forked child that exits leaves it to its parent).
inline fs::path FreshProgramFolder(const std::string& prefix)
{
    struct Owned {
        pid_t owner = ::getpid();
        std::deque<TempDir> folders;
        ~Owned()
        {
            if (::getpid() != owner)
                for (TempDir& folder : folders)
                    folder.Forget();
        }
    };
    static Owned owned;
    return owned.folders.emplace_back(prefix).Dir();
}

// A temporary folder that is the current directory for the object's life.
class TempCwd : public TempDir {
public:
    explicit TempCwd(const std::string& prefix) : TempDir(prefix), saved_(fs::current_path())
    {
        fs::current_path(Dir());
    }
    ~TempCwd() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

// Text written through a stream, kept whole under a lock: engine threads may
// write while a test reads.
class LockedTextBuffer : public std::streambuf {
public:
    std::string Text() const
    {
        std::lock_guard guard(lock_);
        return text_;
    }
    void Clear()
    {
        std::lock_guard guard(lock_);
        text_.clear();
    }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        std::lock_guard guard(lock_);
        text_.push_back(traits_type::to_char_type(c));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        std::lock_guard guard(lock_);
        text_.append(s, static_cast<size_t>(n));
        return n;
    }

private:
    mutable std::mutex lock_;
    std::string text_;
};

// Everything written to std::cout while the object lives, from any thread.
class CoutCapture {
public:
    CoutCapture() : saved_(std::cout.rdbuf(&text_)) {}
    ~CoutCapture() { std::cout.rdbuf(saved_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;

    std::string Text() const { return text_.Text(); }
    void Clear() { text_.Clear(); }

private:
    LockedTextBuffer text_;
    std::streambuf* saved_;
};

} // namespace zandrel_test
