#pragma once
// The running platform: the clock, paths, the process runner and libraries that
// every other part reaches through GetPlatform(). The base answers with harmless
// defaults; WinPlatform (kernel/win_platform.h) is the real one that the
// application builds and publishes at start-up.
#include <string>

#include "kernel/error_stream.h"

// How a run of another program ended.
enum class ProcessOutcome {
    kEnded,      // it ran to its end
    kNotStarted, // it could not be started (reported)
    kStopped,    // the program is closing: it was ended, or never started
};

struct ProcessRun {
    ProcessOutcome outcome = ProcessOutcome::kNotStarted;
    int exitCode = 0; // kEnded: its exit code
    int signal = 0;   // kEnded: the signal that ended it; 0 when it exited
};

class Platform {
public:
    Platform();   // routes the standard error stream into the ErrorStream
    virtual ~Platform(); // releases the ErrorStream, gives std::cerr its buffer back
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    virtual void Run() {}
    virtual void Shutdown() {}
    virtual std::string GetCurrentDir() { return {}; }
    virtual std::string GetExeDir() { return {}; }
    virtual bool SetCurrentDir(const std::string&) { return false; }
    virtual double GetSeconds() { return 1.0; }
    virtual bool HasSSE2() { return true; }
    // Runs `relativePath` (relative to the current directory) with the parameter
    // text and waits for it to end.
    virtual ProcessRun RunProcess(const std::string& /*relativePath*/, const std::string& /*parameters*/)
    {
        return {};
    }
    virtual void SleepSeconds(float) {}
    virtual void* LoadDll(const std::string&) { return nullptr; }
    virtual void* GetDllFunction(void* /*module*/, const std::string& /*name*/) { return nullptr; }
    virtual void UnloadDll(void*) {}
    virtual std::string GetModulePath() { return {}; }

    // While true, the message pump runs no frame in a cycle without a message.
    bool pauseFrames = false;

private:
    ErrorStreamBuf errorBuf_;
    std::streambuf* savedCerrBuf_ = nullptr;
};

// The running platform, or null before the application publishes one.
Platform* GetPlatform();
void SetPlatform(Platform* platform);
