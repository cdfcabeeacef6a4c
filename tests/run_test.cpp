// run and execute_request against the recording fake: the fault path, the
// usage text byte for byte, and the exact platform call each request makes.
#include "app/run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "fake/fake_platform.h"

using testing::ElementsAre;
using testing::IsSupersetOf;

namespace {

class Run : public testing::Test {
protected:
    void SetUp() override { reset_fake(); }

    // The calls run made after the locator handed the title back, let go
    // of its lock and removed its Ctrl+C handler.
    std::vector<std::string> calls_after_locator() const {
        const auto& calls = fake().calls;
        const auto done = std::find(calls.begin(), calls.end(), "SetConsoleCtrlHandler(handler, 0)");
        // No locator end recorded: the run never finished its search, and
        // there is nothing after it to return.
        if (done == calls.end()) {
            ADD_FAILURE() << "the locator never put the Ctrl+C handler back";
            return {};
        }
        return {done + 1, calls.end()};
    }

    std::vector<std::string> run_with(const std::string& command_line) {
        fake().command_line = command_line;
        EXPECT_EQ(run(), 0) << command_line;
        return calls_after_locator();
    }
};

// The texts tavrik prints, byte for byte as tests/expected/ holds them for
// every check that compares them: this one, the end-to-end suite and the
// readme check.
std::string expected(const char* name) {
    std::ifstream file(std::string(TAVRIK_EXPECTED_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    EXPECT_FALSE(text.str().empty()) << "no text in tests/expected/" << name;
    return text.str();
}

TEST_F(Run, WithoutAConsoleWindowWritesOnlyTheFaultAndNeverReadsTheCommandLine) {
    fake().find_on_try = 0;
    fake().command_line = "tavrik min";
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(fake().written, expected("fault.txt"));
    EXPECT_EQ(fake().calls.front(), "GetStdHandle(-11)");
    EXPECT_THAT(calls_after_locator(), ElementsAre("GetStdHandle(-11)", "WriteFile(77, 29 bytes)"));
    EXPECT_EQ(std::count(fake().calls.begin(), fake().calls.end(), "GetCommandLineA()"), 0);
}

TEST_F(Run, CtrlCDuringTheWindowSearchEndsTheRunSilentlyAsAnInterruptedProgram) {
    fake().find_on_try = 0;
    fake().command_line = "tavrik close";
    fake().during_sleep = [](int sleep) {
        if (sleep == 2) deliver_ctrl_event(CTRL_C_EVENT);
    };
    EXPECT_EQ(static_cast<DWORD>(run()), 0xC000013Au);
    EXPECT_EQ(fake().written, "");
    EXPECT_THAT(calls_after_locator(), ElementsAre());
    EXPECT_EQ(fake().console_title, u"Command Prompt");
}

TEST_F(Run, EmptyOrUnknownCommandWritesTheUsageTextInOneWrite) {
    const std::string usage = expected("usage.txt");
    for (const char* line : {"tavrik", "tavrik MIN", "tavrik top,", "\"tavrik\"", ""}) {
        reset_fake();
        EXPECT_THAT(run_with(line), ElementsAre("GetCommandLineA()", "GetStdHandle(-11)",
                                                "WriteFile(77, " + std::to_string(usage.size()) + " bytes)"))
            << line;
        EXPECT_EQ(fake().written, usage) << line;
        EXPECT_EQ(fake().written.find('\r'), std::string::npos) << line;
    }
}

TEST_F(Run, FetchesTheOutputHandleBeforeLookingForTheWindow) {
    run_with("tavrik min");
    EXPECT_EQ(fake().calls.at(0), "GetStdHandle(-11)");
    EXPECT_EQ(fake().calls.at(1), "GetConsoleWindow()");  // the locator's first call
}

TEST_F(Run, CarriesOutEachCommandWithOnePlatformCall) {
    const struct {
        const char* line;
        const char* call;
    } cases[] = {
        {"tavrik min", "ShowWindow(1001, 2)"},
        {"tavrik max", "ShowWindow(1001, 3)"},
        {"tavrik hide", "ShowWindow(1001, 0)"},
        {"tavrik restore", "ShowWindow(1001, 1)"},
        {"tavrik noactive", "ShowWindow(1001, 4)"},
        {"tavrik close", "PostMessageA(1001, 16, 0, 0)"},
        {"tavrik move 100,50", "SetWindowPos(1001, 0, 100, 50, 0, 0, 21)"},
        {"tavrik move 2147483648,4294967295", "SetWindowPos(1001, 0, -2147483648, -1, 0, 0, 21)"},
        {"tavrik bottom", "SetWindowPos(1001, 1, 0, 0, 0, 0, 19)"},
        {"tavrik top", "SetWindowPos(1001, 0, 0, 0, 0, 0, 19)"},
        {"tavrik topmost", "SetWindowPos(1001, -1, 0, 0, 0, 0, 19)"},
        {"tavrik buffer 120,3000", "SetConsoleScreenBufferSize(77, 120, 3000)"},
        {"tavrik buffer 65536,5", "SetConsoleScreenBufferSize(77, 0, 5)"},
    };
    for (const auto& c : cases) {
        reset_fake();
        EXPECT_THAT(run_with(c.line), ElementsAre("GetCommandLineA()", c.call)) << c.line;
        EXPECT_EQ(fake().written, "") << c.line;
    }
}

TEST_F(Run, WindowSizeKeepsTheTopLeftCellAndWrapsIn16Bits) {
    const struct {
        const char* line;
        SMALL_RECT visible;
        const char* call;
    } cases[] = {
        {"t size 80,25", {0, 100, 79, 124}, "SetConsoleWindowInfo(77, 1, 0, 100, 79, 124)"},
        {"t size 60,20", {5, 7, 84, 31}, "SetConsoleWindowInfo(77, 1, 5, 7, 64, 26)"},
        {"t size 80", {0, 100, 79, 124}, "SetConsoleWindowInfo(77, 1, 0, 100, 79, 99)"},
        {"t size 0,0", {3, 4, 82, 28}, "SetConsoleWindowInfo(77, 1, 3, 4, 2, 3)"},
        {"t size 65535,1", {3, 4, 82, 28}, "SetConsoleWindowInfo(77, 1, 3, 4, 1, 4)"},
        {"t size 32767,32767", {10, 20, 0, 0}, "SetConsoleWindowInfo(77, 1, 10, 20, -32760, -32750)"},
    };
    for (const auto& c : cases) {
        reset_fake();
        fake().buffer_info.srWindow = c.visible;
        EXPECT_THAT(run_with(c.line), ElementsAre("GetCommandLineA()", "GetConsoleScreenBufferInfo(77)",
                                                  c.call))
            << c.line;
    }
}

TEST_F(Run, WindowSizeDoesNothingMoreWhenTheBufferQueryFails) {
    fake().buffer_query_fails = true;
    EXPECT_THAT(run_with("tavrik size 80,25"),
                ElementsAre("GetCommandLineA()", "GetConsoleScreenBufferInfo(77)"));
    EXPECT_EQ(fake().written, "");
}

TEST_F(Run, ActsOnTheOutputHandleFetchedAtStart) {
    fake().std_output = 5150;
    run_with("tavrik buffer 1,2");
    EXPECT_THAT(fake().calls, IsSupersetOf({"SetConsoleScreenBufferSize(5150, 1, 2)"}));
}

}  // namespace
