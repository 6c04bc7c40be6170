#include "render/frame/render_queue.h"

#include "kernel/bounded_setting.h"
#include "kernel/settings.h"

uint32_t InstancingBufferSize()
{
    return static_cast<uint32_t>(
        GetBoundedInt(GetSettings(), "Graphics", "instancingBufferSize", 0, kMaxInstancingBufferSize, "instances"));
}

std::string InstancingOverflowNote()
{
    return "An instance list holds [Graphics] instancingBufferSize=" + std::to_string(InstancingBufferSize()) +
           " instances, too few for what this pass draws.";
}
