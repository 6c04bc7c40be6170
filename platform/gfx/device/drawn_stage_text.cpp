#include "platform/gfx/device/drawn_stage_text.h"

#include <regex>

namespace gfx {

std::string VertexTextAsDrawn(const std::string& vertex)
{
    // Its own main is renamed by the preprocessor and called from a new one.
    const size_t version = vertex.rfind("#version", 0) == 0 ? vertex.find('\n') : std::string::npos;
    const size_t body = version == std::string::npos ? 0 : version + 1;
    return vertex.substr(0, body) + "#define main zl_stage_main\n" + vertex.substr(body) +
           "\n#undef main\nvoid main()\n{\n    zl_stage_main();\n    gl_Position.y = -gl_Position.y;\n}\n";
}

std::string PixelTextWithoutAlphaTest(const std::string& pixel)
{
    // `if (<block>.zl_alphaTest.x != 0.0)` made `if (false)`.
    static const std::regex test(R"(if \(_?\w*\.?zl_alphaTest\.x != 0\.0\))");
    return std::regex_replace(pixel, test, "if (false)");
}

} // namespace gfx
