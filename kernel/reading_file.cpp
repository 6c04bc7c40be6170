#include "kernel/reading_file.h"

#include <vector>

namespace {
thread_local std::vector<std::string> files;
}

ReadingFile::ReadingFile(std::string name)
{
    files.push_back(std::move(name));
}

ReadingFile::~ReadingFile()
{
    files.pop_back();
}

std::string ReadingFileLine(std::string_view message)
{
    if (files.empty() || files.back().empty() || message.find(files.back()) != std::string_view::npos)
        return {};
    std::string line = "While reading " + files.back();
    for (auto outer = files.rbegin() + 1; outer != files.rend(); ++outer)
        line += ", loaded for " + *outer;
    return line + ".\n";
}
