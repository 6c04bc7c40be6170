// The built program run as a user runs it, on a terminal of its own, with the
// run folder's settings (vsync as given, or switched off), drawing its frames
// (its own default) or only recording them (ZANDREL_GFX=record):
// - idle CPU: the share of one core its process used over 5 s of doing nothing;
// - start-up: from its start to its first presented frame, which it reports in
//   the file ZANDREL_FRAME_REPORT names;
// - peak memory: the most resident memory the idle program had;
// - beside it, in this process, the share of a core a loop of empty frames
//   (scene begun, ended, presented) takes for 3 s on a device with the
//   engine's presentation interval for vsync on and off: what the program's
//   frame costs once it presents.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "testing/demo_data.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A folder with the program, the demonstration's data and the run folder's
// settings, vsync set as asked.
class ProgramFolder {
public:
    explicit ProgramFolder(bool vsync)
    {
        char pattern[] = "/tmp/zandrel_idle_XXXXXX";
        dir_ = mkdtemp(pattern);
        const fs::path run = ZANDREL_RUN_DIR;
        fs::copy_file(run / "zandrel", dir_ / "zandrel");
        zandrel_test::CopyDemoDataInto(dir_);
        std::ifstream in(run / "settings.ini");
        std::ofstream out(dir_ / "settings.ini");
        for (std::string line; std::getline(in, line);)
            out << (line.rfind("vsync=", 0) == 0 ? std::string("vsync=") + (vsync ? "1" : "0") : line) << "\n";
    }
    ~ProgramFolder() { fs::remove_all(dir_); }
    std::string Exe() const { return (dir_ / "zandrel").string(); }
    std::string Out() const { return (dir_ / "out.txt").string(); }
    std::string FrameReport() const { return (dir_ / "frames.txt").string(); }

private:
    fs::path dir_;
};

// One run of the program on a fresh terminal.
class Run {
public:
    // With `escapeFirst` the Escape key is waiting on the terminal before the
    // program starts.
    Run(const ProgramFolder& folder, bool escapeFirst, bool recordOnly)
    {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
            return;
        std::filesystem::remove(folder.FrameReport());
        if (escapeFirst)
            Escape();
        started_ = Clock::now();
        pid_ = fork();
        if (pid_ == 0) {
            if (recordOnly)
                setenv("ZANDREL_GFX", "record", 1);
            setenv("ZANDREL_FRAME_REPORT", folder.FrameReport().c_str(), 1);
            setsid();
            dup2(slave_, STDIN_FILENO);
            const int out = open(folder.Out().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            close(master_);
            execl(folder.Exe().c_str(), folder.Exe().c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Run()
    {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
        if (slave_ >= 0)
            close(slave_);
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    bool Started() const { return pid_ > 0; }
    void Escape() const { (void)!write(master_, "\x1b", 1); }

    // Ready when the keyboard has the terminal (frames are running then).
    bool WaitUntilIdle() const
    {
        const auto deadline = Clock::now() + 30s;
        while (Clock::now() < deadline) {
            termios mode{};
            if (tcgetattr(slave_, &mode) == 0 && !(mode.c_lflag & ICANON))
                return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                return false;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    // Seconds from the start until `path` exists; negative when the program
    // ended first or it did not come in time.
    double SecondsUntilFileExists(const std::string& path) const
    {
        const auto deadline = Clock::now() + 30s;
        while (Clock::now() < deadline) {
            if (access(path.c_str(), F_OK) == 0)
                return std::chrono::duration<double>(Clock::now() - started_).count();
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_)
                return -1;
            std::this_thread::sleep_for(50us);
        }
        return -1;
    }

    // User plus system time of the process so far, in seconds.
    double CpuSeconds() const
    {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        // Fields after the command name (which may hold spaces) start after ')'.
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14)
                utime = std::stoull(field);
            if (i == 15)
                stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }

    // Waits for the end; false when it did not end normally within the patience.
    bool WaitForEnd()
    {
        const auto deadline = Clock::now() + 30s;
        int status = 0;
        while (Clock::now() < deadline) {
            const pid_t got = wait4(pid_, &status, WNOHANG, &usage_);
            if (got == pid_) {
                ended_ = true;
                endedAt_ = Clock::now();
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            std::this_thread::sleep_for(100us);
        }
        return false;
    }

    double SecondsToEnd() const { return std::chrono::duration<double>(endedAt_ - started_).count(); }
    double EndedAfter(Clock::time_point from) const { return std::chrono::duration<double>(endedAt_ - from).count(); }
    double PeakMiB() const { return static_cast<double>(usage_.ru_maxrss) / 1024.0; }

private:
    int master_ = -1;
    int slave_ = -1;
    pid_t pid_ = 0;
    bool ended_ = false;
    Clock::time_point started_;
    Clock::time_point endedAt_;
    rusage usage_{};
};

// Idle CPU share, peak memory and shutdown time of one idle run.
void BM_IdleProgram(benchmark::State& state)
{
    const bool vsync = state.range(0) != 0;
    const bool recordOnly = state.range(1) != 0;
    ProgramFolder folder(vsync);
    for (auto _ : state) {
        Run run(folder, false, recordOnly);
        if (!run.Started() || !run.WaitUntilIdle()) {
            state.SkipWithError("the program did not start");
            return;
        }
        std::this_thread::sleep_for(1s);
        const auto from = Clock::now();
        const double cpuFrom = run.CpuSeconds();
        std::this_thread::sleep_for(5s);
        const double cpu = run.CpuSeconds() - cpuFrom;
        const double wall = std::chrono::duration<double>(Clock::now() - from).count();
        const auto escaped = Clock::now();
        run.Escape();
        if (!run.WaitForEnd()) {
            state.SkipWithError("the program did not end on Escape");
            return;
        }
        state.SetIterationTime(wall);
        state.counters["core_share_pct"] = 100.0 * cpu / wall;
        state.counters["peak_MiB"] = run.PeakMiB();
        state.counters["shutdown_ms"] = 1e3 * run.EndedAfter(escaped);
    }
}
BENCHMARK(BM_IdleProgram)
    ->ArgNames({"vsync", "record_only"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Start to the first presented frame, and the peak memory of that run once
// it has idled for a second.
void BM_StartUpToFirstFrame(benchmark::State& state)
{
    const bool recordOnly = state.range(0) != 0;
    ProgramFolder folder(true);
    for (auto _ : state) {
        Run run(folder, false, recordOnly);
        const double firstFrame = run.Started() ? run.SecondsUntilFileExists(folder.FrameReport()) : -1;
        if (firstFrame < 0) {
            state.SkipWithError("the program presented no frame");
            return;
        }
        std::this_thread::sleep_for(1s);
        run.Escape();
        if (!run.WaitForEnd()) {
            state.SkipWithError("the program did not end on Escape");
            return;
        }
        state.SetIterationTime(firstFrame);
        state.counters["peak_MiB"] = run.PeakMiB();
    }
}
BENCHMARK(BM_StartUpToFirstFrame)
    ->ArgName("record_only")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly()
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_EmptyFramesPresented(benchmark::State& state)
{
    const bool vsync = state.range(0) != 0;
    gfx::Direct3D* d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
    gfx::PresentParameters parameters;
    parameters.backBufferWidth = 1280;
    parameters.backBufferHeight = 720;
    parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.swapEffect = gfx::kSwapDiscard;
    parameters.windowed = true;
    parameters.presentationInterval = vsync ? gfx::kPresentIntervalOne : gfx::kPresentIntervalImmediate;
    gfx::Device* device = nullptr;
    if (!d3d || d3d->CreateDevice(0, gfx::kDeviceHal, nullptr, gfx::kCreateHardwareVertexProcessing, &parameters,
                                  &device) != gfx::kOk) {
        state.SkipWithError("no device");
        gfx::SafeRelease(d3d);
        return;
    }
    for (auto _ : state) {
        const auto from = Clock::now();
        const double cpuFrom = ThreadCpuSeconds();
        uint64_t frames = 0;
        while (Clock::now() - from < 3s) {
            device->BeginScene();
            device->EndScene();
            device->Present();
            ++frames;
        }
        const double wall = std::chrono::duration<double>(Clock::now() - from).count();
        state.SetIterationTime(wall);
        state.counters["core_share_pct"] = 100.0 * (ThreadCpuSeconds() - cpuFrom) / wall;
        state.counters["frames_per_s"] = static_cast<double>(frames) / wall;
    }
    gfx::SafeRelease(device);
    gfx::SafeRelease(d3d);
}
BENCHMARK(BM_EmptyFramesPresented)->ArgName("vsync")->Arg(1)->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
