#include "kernel/error_stream.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "kernel/platform.h"
#include "platform/window/modal_box.h"
#include "testing/dialog_script.h"
#include "testing/message_box_script.h"
#include "testing/window_hooks.h"

namespace {

// Runs `body` in a child process with stdin and fd 2 redirected; returns the
// exit status and what reached fd 2.
struct ChildResult {
    int status = -1;
    std::string errorOutput;
};

template <class Body>
ChildResult RunInChild(Body body)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    std::cout.flush();
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        body();
        _exit(99); // only when the body did not end the process
    }
    close(pipeFds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        result.errorOutput.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace

TEST(ErrorStream, OneLineShowsOneBoxAndEmpties)
{
    platform::testing::ScriptedMessageBoxes boxes;
    errorTwoLines = false;
    GetErrorStream() << "Can't load DLL: " << "x.dll" << "\n";
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].caption, "Zandrel Engine - error");
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't load DLL: x.dll\n"));
    EXPECT_EQ(GetErrorStream().Pending(), "");
}

TEST(ErrorStream, BoxTextAddsTheTwoFixedSentences)
{
    EXPECT_EQ(ErrorBoxText("Settings.ini not found.\n"),
              "Settings.ini not found.\n\r\rPress Abort to close the program;\rHowever, you can Continue Anyway, "
              "but no warranty provided then, it may lead to a crash or unstable performance.");
}

TEST(ErrorStream, TwoLineModeHoldsTheFirstLine)
{
    platform::testing::ScriptedMessageBoxes boxes;
    errorTwoLines = true;
    GetErrorStream() << "first\n";
    EXPECT_TRUE(boxes.Shown().empty());
    GetErrorStream() << "second\n";
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("first\nsecond\n"));

    // A piece without a line feed in between makes the next line be held again.
    GetErrorStream() << "one\n" << "part" << "two\n";
    EXPECT_EQ(boxes.Shown().size(), 1u);
    GetErrorStream() << "three\n";
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("one\nparttwo\nthree\n"));

    // Both lines in one piece count as one completed line.
    GetErrorStream() << "a\nb\n";
    EXPECT_EQ(boxes.Shown().size(), 2u);
    errorTwoLines = false;
    GetErrorStream() << "c\n";
    ASSERT_EQ(boxes.Shown().size(), 3u);
    EXPECT_EQ(boxes.Shown()[2].text, ErrorBoxText("a\nb\nc\n"));
}

TEST(ErrorStream, IntegersAndEmptyWritesShowNothing)
{
    platform::testing::ScriptedMessageBoxes boxes;
    errorTwoLines = false;
    GetErrorStream() << "";
    EXPECT_TRUE(boxes.Shown().empty());
    GetErrorStream() << int32_t{-42};
    EXPECT_EQ(GetErrorStream().Pending(), "-42");
    EXPECT_TRUE(boxes.Shown().empty());
    GetErrorStream() << " overflow." << "\n";
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("-42 overflow.\n"));
}

TEST(ErrorStream, StandardErrorReachesTheStreamWhileThePlatformLives)
{
    platform::testing::ScriptedMessageBoxes boxes;
    std::streambuf* own = std::cerr.rdbuf();
    {
        Platform platform;
        errorTwoLines = true;
        GetErrorStream() << "held\n";
        EXPECT_TRUE(boxes.Shown().empty());
        errorTwoLines = true;
        std::cerr << "abc\n"; // each character clears two-line mode
        ASSERT_EQ(boxes.Shown().size(), 1u);
        EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("held\nabc\n"));
        EXPECT_FALSE(errorTwoLines);
        std::cerr << "unfinished";
        EXPECT_EQ(GetErrorStream().Pending(), "unfinished");
    }
    EXPECT_EQ(std::cerr.rdbuf(), own);
    EXPECT_EQ(GetErrorStream().Pending(), ""); // released with the platform
}

TEST(ErrorStream, PiecesOfDifferentThreadsDoNotMix)
{
    constexpr int kMessages = 200;
    std::vector<std::string> shown[2];
    auto writer = [&](int which) {
        platform::testing::ScriptedMessageBoxes boxes;
        const std::string tag = which ? "B" : "A";
        for (int i = 0; i < kMessages; ++i) {
            errorTwoLines = (i % 2) == 0;
            GetErrorStream() << tag << "-" << int32_t{i} << "\n";
        }
        for (const auto& box : boxes.Shown())
            shown[which].push_back(box.text);
    };
    std::thread a(writer, 0);
    std::thread b(writer, 1);
    a.join();
    b.join();
    for (int which = 0; which < 2; ++which) {
        const std::string tag = which ? "B" : "A";
        ASSERT_EQ(shown[which].size(), static_cast<size_t>(kMessages / 2));
        for (int i = 0; i < kMessages / 2; ++i) {
            const std::string expected = tag + "-" + std::to_string(2 * i) + "\n" + tag + "-" +
                                         std::to_string(2 * i + 1) + "\n";
            EXPECT_EQ(shown[which][static_cast<size_t>(i)], ErrorBoxText(expected));
        }
    }
}

TEST(ErrorStream, AbortEndsTheProcessWithExitCode1)
{
    const ChildResult result = RunInChild([] {
        platform::testing::ScriptedMessageBoxes boxes;
        boxes.Queue(3); // "&Abort"
        errorTwoLines = false;
        GetErrorStream() << "fatal\n";
    });
    EXPECT_EQ(result.status, 1);
}

TEST(ErrorStream, ACloseSignalEndsAWaitingBoxAsAbortWouldButNotAnAnswerGivenBeforeIt)
{
    for (bool answered : {false, true}) {
        const ChildResult result = RunInChild([answered] {
            dup2(STDERR_FILENO, STDOUT_FILENO); // the line goes to standard output
            platform::testing::ScriptedDialogs dialogs;
            dialogs.Inspect([](platform::Window*) { platform::testing::RecordCloseSignal(SIGINT); });
            if (answered)
                platform::detail::ThreadModalBoxInterceptor() = [](const platform::ModalBoxRequest&) {
                    return platform::testing::RecordCloseSignal(SIGINT), std::optional<unsigned>(11);
                };
            GetErrorStream() << "not fatal by itself\n";
            _exit(5);
        });
        EXPECT_EQ(result.status, answered ? 5 : 1);
        const std::string line = "SIGINT while the error box waited: the program ends, as after Abort.\n";
        EXPECT_EQ(result.errorOutput, answered ? "" : line);
    }
}

TEST(ErrorStream, ContinueAnywayReturnsToTheWriter)
{
    const ChildResult result = RunInChild([] {
        platform::testing::ScriptedMessageBoxes boxes;
        errorTwoLines = false;
        GetErrorStream() << "not fatal\n";
        _exit(5);
    });
    EXPECT_EQ(result.status, 5);
}

TEST(ErrorStream, WithoutATerminalTheBoxGoesToFd2AndEndsTheProcess)
{
    const ChildResult result = RunInChild([] {
        errorTwoLines = false;
        GetErrorStream() << "Settings.ini not found.\n";
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.errorOutput.find("Zandrel Engine - error"), std::string::npos);
    EXPECT_NE(result.errorOutput.find("Settings.ini not found."), std::string::npos);
}
