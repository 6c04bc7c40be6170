#pragma once
// The process-wide error accumulator. Pieces of a message are appended; a piece
// that leaves the text ending in a line feed completes the message and shows it
// in the error box, where the user ends the program or continues. A close
// signal (Ctrl+C, SIGTERM, SIGHUP) while the box waits ends the program as
// Abort does, with one line on standard output naming the signal.
//
//   errorTwoLines = false;
//   GetErrorStream() << "Can't load DLL: " << name << "\n";
//
// Each thread collects its own message, so pieces written by different threads
// never mix; boxes are shown one at a time, and a box blocks only its writer.
#include <cstdint>
#include <mutex>
#include <streambuf>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

// True while a two-line message is being written: its first completed line waits
// for the second. Set by the writer just before each message; each thread has its
// own, so writers on other threads cannot flip it mid-message.
extern thread_local bool errorTwoLines;

class ErrorStream {
public:
    ErrorStream& Write(std::string_view text);
    ErrorStream& WriteInt(int32_t value);

    ErrorStream& operator<<(std::string_view text) { return Write(text); }
    ErrorStream& operator<<(const char* text) { return Write(text ? text : ""); }
    ErrorStream& operator<<(const std::string& text) { return Write(text); }
    ErrorStream& operator<<(char c) { return Write(std::string_view(&c, 1)); }
    ErrorStream& operator<<(int32_t value) { return WriteInt(value); }
    ErrorStream& operator<<(uint32_t value) { return WriteInt(static_cast<int32_t>(value)); }

    // The calling thread's text collected since its last box (tests, diagnostics).
    std::string Pending() const;

private:
    struct PendingText {
        std::string text;
        bool held = false;
    };
    mutable std::mutex lock_;
    std::unordered_map<std::thread::id, PendingText> messages_;
    std::recursive_mutex boxLock_; // one box at a time
};

ErrorStream& GetErrorStream();
void ReleaseErrorStream();

// The box text built from a completed message: the message, two carriage returns
// and the two fixed sentences.
std::string ErrorBoxText(std::string_view message);

inline constexpr const char* kErrorBoxCaption = "Zandrel Engine - error";
inline constexpr unsigned kErrorBoxStyle = 0x37;
inline constexpr unsigned kAnswerContinueAnyway = 11;

// The standard error stream's buffer while the platform object lives: every
// character reaches ReportError.
class ErrorStreamBuf : public std::streambuf {
protected:
    int_type overflow(int_type c) override;
};

// One character from the standard error stream: clears errorTwoLines, then writes it.
int ReportError(int c);
