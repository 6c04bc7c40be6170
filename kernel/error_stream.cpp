#include "kernel/error_stream.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "kernel/reading_file.h"
#include "platform/os/terminal.h"
#include "platform/window/close_signals.h"
#include "ui/engine_message_box.h"

thread_local bool errorTwoLines = false;

namespace {
std::unique_ptr<ErrorStream>& StreamSlot()
{
    static std::unique_ptr<ErrorStream> stream;
    return stream;
}
std::mutex& SlotLock()
{
    static std::mutex lock;
    return lock;
}

[[noreturn]] void AbortProgram()
{
    // Other engine threads may still be running: flush what was written and end
    // without exit-time destructors they could still be using (nor the exit
    // handler that gives the terminal its mode back, so that is done here).
    std::cout.flush();
    std::fflush(nullptr);
    platform::os::RestoreTerminalForGood();
    std::_Exit(1);
}
} // namespace

std::string ErrorBoxText(std::string_view message)
{
    std::string box(message);
    box += "\r\r";
    box += "Press Abort to close the program;";
    box += "\r";
    box += "However, you can Continue Anyway, but no warranty provided then, it may lead to a crash or unstable performance.";
    return box;
}

ErrorStream& ErrorStream::Write(std::string_view text)
{
    std::string completed;
    {
        std::lock_guard guard(lock_);
        PendingText& message = messages_[std::this_thread::get_id()];
        message.text.append(text);
        if (message.text.empty() || message.text.back() != '\n') {
            message.held = false;
            return *this;
        }
        if (errorTwoLines && !message.held) {
            message.held = true;
            return *this;
        }
        completed = std::move(message.text);
        messages_.erase(std::this_thread::get_id());
    }
    completed += ReadingFileLine(completed);
    std::lock_guard box(boxLock_);
    const std::string boxText = ErrorBoxText(completed);
    // A close signal while the box waits ends it without an answer (the user
    // declining to go on): the program ends as after Abort, saying why.
    const platform::CloseSignalWatch closeSignal;
    const unsigned answer = EngineMessageBox(nullptr, boxText.c_str(), kErrorBoxCaption, kErrorBoxStyle, nullptr);
    if (answer != kAnswerContinueAnyway) {
        if (closeSignal.Caught())
            std::cout << platform::CloseSignalName(closeSignal.Signal())
                      << " while the error box waited: the program ends, as after Abort.\n";
        AbortProgram();
    }
    return *this;
}

ErrorStream& ErrorStream::WriteInt(int32_t value)
{
    return Write(std::to_string(value));
}

std::string ErrorStream::Pending() const
{
    std::lock_guard guard(lock_);
    auto it = messages_.find(std::this_thread::get_id());
    return it == messages_.end() ? std::string() : it->second.text;
}

ErrorStream& GetErrorStream()
{
    std::lock_guard guard(SlotLock());
    auto& stream = StreamSlot();
    if (!stream)
        stream = std::make_unique<ErrorStream>();
    return *stream;
}

void ReleaseErrorStream()
{
    std::lock_guard guard(SlotLock());
    StreamSlot().reset();
}

int ReportError(int c)
{
    errorTwoLines = false;
    GetErrorStream().Write(std::string(1, static_cast<char>(c)));
    return c;
}

ErrorStreamBuf::int_type ErrorStreamBuf::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    return ReportError(traits_type::to_char_type(c));
}
