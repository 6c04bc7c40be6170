#pragma once
// The names the compiled-effect cache is built from: an effect's base name, the
// key and id of a define variant, the define text and the compiled file's path
// under "/compiledshaders/", and the effect compiler's parameter text.
//   particle.fx, no defines              -> /compiledshaders/particle.fxo
//   particle.fx, BILLBOARD FADE LIGHTING WIND
//                                        -> key BILLBOARDFADELIGHTINGWIND, id 979423159,
//                                           /compiledshaders/particle979423159.fxo
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Define name -> enabled; iterated in byte order of the names.
using EffectDefineFlags = std::map<std::string, bool>;

inline constexpr char kCompiledEffectFolder[] = "/compiledshaders/";
inline constexpr char kEffectCompilerPath[] = "/tools/fxc.exe";

// The source name without its ".fx"; a name that does not end in ".fx" is kept
// whole rather than losing three characters that are not an extension.
std::string EffectBaseName(std::string_view fileName);

// The enabled defines' names in map order.
std::vector<std::string> EnabledDefineNames(const EffectDefineFlags& flags);
// Those names joined with no separator; empty when none is enabled.
std::string EffectVariantKey(const EffectDefineFlags& flags);
// RSHash of the key; the empty key gives 0.
uint32_t EffectVariantId(std::string_view key);
// " /D NAME=1 " per enabled define.
std::string EffectDefineText(const EffectDefineFlags& flags);
// The extension of a variant's compiled file: the decimal id and ".fx".
std::string EffectVariantExtension(uint32_t variantId);
// "/compiledshaders/" + base + extension + "o".
std::string CompiledEffectPath(std::string_view baseName, std::string_view extension = ".fx");
// " /T fx_2_0 /O3 /Fo \"" + currentDir + compiledPath + "\"" + defineText + " " + sourceName,
// where a double quote in the path is written \" (the backslashes before it,
// and at its end, doubled), so that the path splits off whole.
std::string EffectCompilerParameters(std::string_view currentDir, std::string_view compiledPath,
                                     std::string_view defineText, std::string_view sourceName);
// False for text that would change how the compiler's command line splits
// (a double quote, a line break or another control character): such a name
// from a data file never reaches the compiler.
bool FitsEffectCommandLine(std::string_view text);
