// makedata: writes the demonstration's generated data into a run folder.
//   makedata.exe <run folder>
// The scene "data/shadowDemo.ids" (through the engine's own scene, mesh and
// material writers, on a device of its own), the ground's transfer textures
// "textures/box2_prtP.BMP" and "textures/box2_prtN.BMP" baked against the
// casters of that scene, and the jitter textures "textures/enbjitter.tga" and
// "textures/Noise3D.dds" (a volume). Exits with 1 when a file cannot be made.
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/os/file_replace.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "render/nodes/scene.h"
#include "tools/makedata/demo_scene.h"
#include "tools/makedata/ground_transfer.h"
#include "tools/makedata/noise.h"

namespace {

// 256 x 256 texels keep each file within the engine's largest file pool.
constexpr uint32_t kTransferSize = 256;
constexpr uint32_t kTransferRaysPerSide = 16;
constexpr uint32_t kJitterSide = 64;
constexpr uint32_t kNoiseSide = 32;

bool Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    if (!platform::ReplaceFileContents(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
        std::cerr << "makedata: cannot write " << path << "\n";
        return false;
    }
    std::cout << "makedata: " << path << " (" << bytes.size() << " bytes)\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: makedata <run folder>\n";
        return 2;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(fs::path(argv[1]) / "data", ec);
    fs::create_directories(fs::path(argv[1]) / "textures", ec);
    fs::current_path(argv[1], ec);
    if (ec) {
        std::cerr << "makedata: cannot use the folder " << argv[1] << ": " << ec.message() << "\n";
        return 1;
    }
    if (!CreateQuietDevice(64, 64)) {
        std::cerr << "makedata: no graphics device\n";
        return 1;
    }

    std::ostringstream quiet;
    std::streambuf* saved = std::cout.rdbuf();
    bool written = true;
    const makedata::DemoLayout layout = makedata::MakeDemoLayout();
    {
        Scene scene;
        makedata::BuildDemoScene(scene, layout);
        try {
            scene.SaveToFile(makedata::kSceneFile);
            std::cout << "makedata: " << makedata::kSceneFile << " (" << layout.objects.size() << " nodes)\n";
        } catch (int) {
            std::cerr << "\nmakedata: cannot write " << makedata::kSceneFile << "\n";
            written = false;
        }
        const makedata::TransferTextures transfer =
            makedata::BakeGroundTransfer(makedata::CasterOccluders(scene, layout), layout.GroundTopLow(),
                                         layout.GroundTopHigh(), kTransferSize, kTransferRaysPerSide);
        written = Write("textures/box2_prtP.BMP", makedata::EncodeBmp(transfer.positive)) && written;
        written = Write("textures/box2_prtN.BMP", makedata::EncodeBmp(transfer.negative)) && written;
        // The scene's release reports each material it lets go of.
        std::cout.rdbuf(quiet.rdbuf());
    }
    std::cout.rdbuf(saved);
    written = Write("textures/enbjitter.tga", makedata::EncodeTga(makedata::WhiteNoise(kJitterSide, 1, 0x6a177e5u))) &&
              written;
    written = Write("textures/Noise3D.dds",
                    makedata::EncodeDds(makedata::WhiteNoise(kNoiseSide, kNoiseSide, 0x0153d3du))) &&
              written;

    std::cout.rdbuf(quiet.rdbuf());
    ReleaseDevice();
    std::cout.rdbuf(saved);
    return written ? 0 : 1;
}
