// Fuzz target: texture files from memory through the entry point and through
// each reader on its own, so every reader sees every input; a file that
// decodes and is not large is then made into textures on a recording device,
// sized and given its levels by each filter, so the resampler and the block
// encoder see every layout a file can bring.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>

#include "fuzz/fuzz_device.h"
#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/image/bmp_reader.h"
#include "platform/gfx/image/dds_reader.h"
#include "platform/gfx/image/hdr_reader.h"
#include "platform/gfx/image/image_decode.h"
#include "platform/gfx/image/jpeg_reader.h"
#include "platform/gfx/image/png_reader.h"
#include "platform/gfx/image/pnm_reader.h"
#include "platform/gfx/image/texture_loader.h"
#include "platform/gfx/image/tga_reader.h"

namespace {

// A decoded image must describe only bytes it holds.
void CheckImage(const gfx::DecodeResult& result, const gfx::DecodedImage& image)
{
    if (!result.Ok()) {
        if (result.reason.empty() || !image.bytes.empty())
            __builtin_trap();
        return;
    }
    if (image.subresources.size() != size_t(image.faces) * image.levels)
        __builtin_trap();
    size_t end = 0;
    for (const gfx::ImageSubresource& sub : image.subresources) {
        if (sub.offset != end || sub.size > image.bytes.size() - sub.offset || sub.width == 0 || sub.height == 0)
            __builtin_trap();
        end = sub.offset + sub.size;
    }
    if (end != image.bytes.size())
        __builtin_trap();
}

// Textures of the file by each filter: its own size and a size a third
// larger a side, with a full chain.
void MakeTextures(const uint8_t* data, size_t size, const gfx::DecodedImage& image)
{
    gfx::Device* device = RecordingDevice();
    if (device == nullptr)
        return;
    for (uint32_t filter : {uint32_t(gfx::kImageFilterDefault), uint32_t(gfx::kImageFilterLinear),
                            uint32_t(gfx::kImageFilterPoint)}) {
        gfx::TextureFileParams params;
        params.pool = gfx::kPoolSystemMem;
        params.filter = params.mipFilter = filter;
        params.width = filter == gfx::kImageFilterLinear ? image.width + image.width / 3 + 1 : gfx::kImageDefaultNonPow2;
        params.height = filter == gfx::kImageFilterLinear ? image.height + image.height / 3 + 1 : gfx::kImageDefaultNonPow2;
        params.depth = gfx::kImageDefaultNonPow2;
        gfx::BaseTexture* texture = nullptr;
        gfx::Result result;
        if (image.kind == gfx::ImageKind::Volume) {
            gfx::VolumeTexture* volume = nullptr;
            result = gfx::CreateVolumeTextureFromFileInMemory(device, data, size, params, &volume);
            texture = volume;
        } else if (image.kind == gfx::ImageKind::Cube) {
            gfx::CubeTexture* cube = nullptr;
            result = gfx::CreateCubeTextureFromFileInMemory(device, data, size, params, &cube);
            texture = cube;
        } else {
            gfx::Texture* plain = nullptr;
            result = gfx::CreateTextureFromFileInMemory(device, data, size, params, &plain);
            texture = plain;
        }
        if (gfx::Succeeded(result) != (texture != nullptr))
            __builtin_trap();
        if (texture)
            texture->Release();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The loader names every file it refuses on standard output.
    static std::ostringstream quiet;
    static std::streambuf* const kept = std::cout.rdbuf(quiet.rdbuf());
    (void)kept;
    quiet.str({});

    gfx::DecodedImage image;
    CheckImage(gfx::DecodeImage(data, size, image), image);
    if (!image.bytes.empty() && uint64_t(image.width) * image.height * image.depth <= 4096)
        MakeTextures(data, size, image);
    CheckImage(gfx::ReadDds(data, size, image), image);
    CheckImage(gfx::ReadTga(data, size, image), image);
    CheckImage(gfx::ReadBmp(data, size, image), image);
    CheckImage(gfx::ReadDib(data, size, image), image);
    CheckImage(gfx::ReadPng(data, size, image), image);
    CheckImage(gfx::ReadJpeg(data, size, image), image);
    CheckImage(gfx::ReadHdr(data, size, image), image);
    CheckImage(gfx::ReadPfm(data, size, image), image);
    CheckImage(gfx::ReadPnm(data, size, image), image);
    return 0;
}
