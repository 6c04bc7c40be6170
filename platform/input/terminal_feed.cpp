#include "platform/input/terminal_feed.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/input/input_source.h"
#include "platform/input/terminal_keys.h"
#include "platform/os/terminal.h"

namespace platform::input {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> feedAllowed{true};
bool running = false;

struct Feed {
    std::mutex lock;
    TerminalKeyDecoder decoder;
    Clock::time_point lastByte;
};

Feed& TheFeed()
{
    static Feed feed;
    return feed;
}

void TapAll(const std::vector<uint8_t>& codes)
{
    for (uint8_t code : codes)
        TapKey(code);
}

void Decode(std::string_view bytes, bool expire)
{
    Feed& feed = TheFeed();
    std::vector<uint8_t> codes;
    {
        std::lock_guard guard(feed.lock);
        if (!bytes.empty()) {
            feed.decoder.Feed(bytes, codes);
            feed.lastByte = Clock::now();
        } else if (expire && feed.decoder.Waiting()) {
            feed.decoder.Expire(codes);
        }
    }
    TapAll(codes);
}

// The keyboard's feed: the bytes waiting now, or the end of a lone Escape.
void PumpTerminal()
{
    unsigned char buffer[256];
    const size_t n = os::ReadWaitingKeys(buffer, sizeof(buffer));
    if (n > 0) {
        Decode(std::string_view(reinterpret_cast<const char*>(buffer), n), false);
        return;
    }
    Feed& feed = TheFeed();
    bool expired;
    {
        std::lock_guard guard(feed.lock);
        expired = feed.decoder.Waiting() &&
                  std::chrono::duration<double>(Clock::now() - feed.lastByte).count() >= kEscapeWaitSeconds;
    }
    if (expired)
        Decode({}, true);
}

} // namespace

bool StartTerminalFeed()
{
    if (running)
        return true;
    if (!feedAllowed.load() || !os::EnterKeyMode())
        return false;
    running = true;
    SetKeyFeed(PumpTerminal);
    return true;
}

void StopTerminalFeed()
{
    if (!running)
        return;
    SetKeyFeed(nullptr);
    os::LeaveKeyMode();
    running = false;
}

bool TerminalFeedRunning()
{
    return running;
}

namespace detail {

void AllowTerminalFeed(bool allowed)
{
    feedAllowed.store(allowed);
    if (!allowed)
        StopTerminalFeed();
}

void FeedTerminalBytes(const char* bytes, unsigned long size)
{
    Decode(std::string_view(bytes, size), false);
}

void ExpireTerminalBytes()
{
    Decode({}, true);
}

} // namespace detail

} // namespace platform::input
