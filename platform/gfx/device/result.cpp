#include "platform/gfx/device/result.h"

namespace gfx {

const char* DescribeResult(Result result)
{
    switch (result) {
    case kOk: return "No error";
    case kFalse: return "Not ready yet";
    case kFail: return "Unspecified failure";
    case kNoInterface: return "No such interface";
    case kAbort: return "Operation aborted";
    case kOutOfMemory: return "Out of memory";
    case kInvalidArgument: return "Invalid argument";
    case kOutOfVideoMemory: return "Out of video memory";
    case kNotFound: return "Not found";
    case kDeviceLost: return "Device lost";
    case kNotAvailable: return "Not available";
    case kInvalidCall: return "Invalid call";
    case kInvalidData: return "Invalid data";
    default: return "Unknown error";
    }
}

} // namespace gfx
