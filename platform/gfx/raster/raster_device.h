#pragma once
// The drawing path under a graphics device: draws, clears and copies carried
// out by OpenGL with Direct3D 9's meanings (top-left origin with row 0 on top in
// every surface, depth 0..1, pixel centres on integers, clockwise front faces),
// the GPU copies of the device's memory kept up to date from their versions,
// read-back on demand, and pictures of presented frames when asked for.
// Made on a real window, it shows presented frames there itself: the back
// buffer is copied into the window on the GPU and swapped, nothing read back.
// The GL work happens on the thread that calls (the drawing thread keeps the
// context until each presented frame); a resource dropped on another thread is
// forgotten on the drawing thread's next call.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/gfx/raster/draw_call.h"
#include "platform/gfx/raster/frame_capture.h"
#include "platform/gfx/raster/gl_context.h"
#include "platform/gfx/raster/gl_images.h"
#include "platform/gfx/raster/gl_pipeline_state.h"
#include "platform/gfx/raster/gl_programs.h"

namespace gfx::raster {

class RasterDevice {
public:
    // Null, with the reason, when no OpenGL 4.5 context can be made (on
    // `window` when one is given). `capturePath` "" captures nothing.
    static std::unique_ptr<RasterDevice> Create(const std::string& capturePath, std::string& why,
                                                const GlWindow* window = nullptr);
    ~RasterDevice();
    RasterDevice(const RasterDevice&) = delete;
    RasterDevice& operator=(const RasterDevice&) = delete;

    const std::string& Description() const { return context_->Description(); }

    // False when the pass's shaders do not link, or it sets none: said once
    // a pass, on standard output, naming its effect, technique and pass.
    bool Draw(const DrawView& draw);
    void Clear(const ClearView& clear);
    // Rectangles are checked by the caller.
    void Stretch(const TargetView& source, const Rect& from, const TargetView& destination, const Rect& to,
                 bool linear);
    // The back buffer was presented: shown in the window (stretched to its
    // size), kept for the capture, written when due.
    void Present(const ImageView& backBuffer);
    // Presented frames are shown in a window, which is still there.
    bool OnWindow() const { return context_->OnWindow(); }
    // The window goes: let go of it first (any thread; waits for the drawing thread).
    void LeaveWindow() { context_->LeaveWindow(); }
    // The scene's drawing is over: another thread may take the context.
    void Pause() { context_->Release(); }

    // True when the GPU drew into the resource after its bytes were last read back.
    bool GpuNewer(const void* key) const;
    // Every level below the first made from it.
    void GenerateMips(const ImageView& image);
    void ReadBack(const ImageView& image);
    void Forget(const void* key);

    // Draws that could not be carried out (no program, a pass that does not link or sets no shader).
    uint64_t SkippedDraws() const { return skipped_; }
    // Images brought back from the GPU to memory, pictures included.
    uint64_t ReadBacks() const { return readBacks_; }

private:
    RasterDevice() = default;
    // Takes the context for this thread and catches up on resources dropped
    // elsewhere; false when the context cannot be had.
    bool Enter();
    void Drawn(const void* key);
    void SetVertexInput(const DrawView& draw);
    void BindFramebuffer(uint32_t fbo);
    // Copies the frame read through `read` for the capture; writes it when due.
    void KeepForCapture(uint32_t read, uint32_t width, uint32_t height);
    void WriteCapture();

    std::unique_ptr<GlContext> context_; // first: the GL objects below go before it
    GlImages images_;
    GlPrograms programs_;
    uint32_t vertexArray_ = 0;
    uint32_t drawBlock_ = 0;
    uint32_t fogBlock_ = 0;
    uint32_t boundFramebuffer_ = ~0u;
    PipelineState pipeline_;
    bool pipelineKnown_ = false;
    std::vector<VertexElement> lastElements_;
    const PassProgram* lastInputs_ = nullptr;
    uint32_t enabledAttributes_ = 0;
    uint64_t skipped_ = 0;
    std::atomic<uint64_t> readBacks_{0};
    bool toldUnavailable_ = false;
    std::unordered_set<std::string> toldWithoutShaders_; // effect, technique and pass index, a line apart

    mutable std::mutex shared_; // what other threads may touch: the two sets below
    std::unordered_set<const void*> newer_;
    std::vector<const void*> forgotten_;

    std::optional<FrameCapture> capture_;
    uint32_t presented_ = 0;             // texture with the last presented frame
    uint32_t presentedFramebuffer_ = 0;
    uint32_t presentedWidth_ = 0, presentedHeight_ = 0;
    bool presentPending_ = false;
    bool captureFailed_ = false;
};

} // namespace gfx::raster
