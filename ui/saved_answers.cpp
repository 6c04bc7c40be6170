#include "ui/saved_answers.h"

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/os/paths.h"
#include "platform/window/registry.h"

namespace {

constexpr size_t kExecutablePathMax = 517;

std::string ProgramFileName()
{
    std::string path = platform::os::ExecutablePath().substr(0, kExecutablePathMax);
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string& MessageKeyName(std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(text[i]);
        text[i] = kKeyNameAlphabet[(c + 5 * i) % 64];
    }
    return text;
}

std::string SavedAnswerValueName(const std::string& answerKey, int32_t answerKeyNumber)
{
    std::string name = answerKey.substr(0, kAnswerKeyMaxChars);
    MessageKeyName(name);
    return name + std::to_string(answerKeyNumber);
}

std::string SavedAnswerKeyPath(const std::string& registryName)
{
    std::string path = "Software\\";
    if (!registryName.empty())
        path += registryName + "\\";
    path += ProgramFileName() + "\\EngineMessageBox";
    return path.size() <= kSavedAnswerPathMax ? path : std::string();
}

uint32_t ReadSavedAnswer(const std::string& registryName, const std::string& valueName)
{
    if (valueName.empty())
        return 0;
    const std::string path = SavedAnswerKeyPath(registryName);
    if (path.empty())
        return 0;
    auto value = platform::RegistryQueryValue(path, valueName);
    // Only a 4-byte value is an answer; anything else would be read in part.
    if (!value || value->bytes.size() != 4)
        return 0;
    return platform::ByteReader(value->bytes).U32();
}

void WriteSavedAnswer(const std::string& registryName, const std::string& valueName, uint32_t value)
{
    if (valueName.empty())
        return;
    const std::string path = SavedAnswerKeyPath(registryName);
    if (path.empty())
        return;
    platform::ByteWriter bytes;
    bytes.U32(value);
    platform::RegistryValue stored{platform::kRegistryDword, bytes.Take()};
    platform::RegistrySetValue(path, valueName, stored);
}

uint32_t CheckSavedAnswer(const std::string& registryName, const char* answerKey, int32_t answerKeyNumber)
{
    if (!answerKey)
        return 0;
    return ReadSavedAnswer(registryName, SavedAnswerValueName(answerKey, answerKeyNumber));
}
