#pragma once
// The resource files the calling thread is reading, innermost last. An error
// box raised meanwhile names them, unless its message already names the
// innermost, so a refusal deep inside a file ("Vertex buffer of 833 x 56 bytes
// refused.") or a load it asks for says which file it came from.
#include <string>
#include <string_view>

class ReadingFile {
public:
    explicit ReadingFile(std::string name);
    ~ReadingFile();
    ReadingFile(const ReadingFile&) = delete;
    ReadingFile& operator=(const ReadingFile&) = delete;
};

// The line an error box of `message` gets: "While reading <file>.", or
// "While reading <file>, loaded for <outer file>." and so on outward; empty
// when no file is being read or the message names the innermost.
std::string ReadingFileLine(std::string_view message);
