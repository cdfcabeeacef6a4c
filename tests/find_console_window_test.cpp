// The locator's call sequence against the recording fake: the title lock
// around it all, tag text, search and pause counts, and the console title
// handed back unchanged in every case.
#include "console/find_console_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "fake/fake_platform.h"

using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

class Locator : public testing::Test {
protected:
    void SetUp() override { reset_fake(); }
};

// The title lock, named after the console window (1001), around the body.
std::vector<std::string> locked(std::vector<std::string> body) {
    std::vector<std::string> calls = {"GetConsoleWindow()",
                                      "wsprintfA(\"Local\\tavrik-title-%lu\") = \"Local\\tavrik-title-1001\"",
                                      "CreateMutexA(NULL, 0, \"Local\\tavrik-title-1001\")",
                                      "WaitForSingleObject(88, 3500)"};
    calls.insert(calls.end(), body.begin(), body.end());
    calls.push_back("ReleaseMutex(88)");
    calls.push_back("CloseHandle(88)");
    return calls;
}

std::string last_title_set() {
    const auto& calls = fake().calls;
    for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
        if (call->rfind("SetConsoleTitle", 0) == 0) return *call;
    }
    return "";
}

TEST_F(Locator, FindsTheWindowOnTheFirstTryWithoutPausing) {
    fake().console_title = u"Command Prompt";
    EXPECT_EQ(find_console_window(), reinterpret_cast<HWND>(fake().console_window));
    EXPECT_THAT(fake().calls, ElementsAreArray(locked({"GetConsoleTitleW(32768)",
                                                       "GetCurrentThreadId()",
                                                       "wsprintfA(\"tavrik%d\") = \"tavrik4242\"",
                                                       "SetConsoleTitleA(\"tavrik4242\")",
                                                       "FindWindowA(NULL, \"tavrik4242\")",
                                                       "SetConsoleTitleW(\"Command Prompt\")"})));
    EXPECT_EQ(fake().console_title, u"Command Prompt");
}

TEST_F(Locator, KeepsSearchingUntilTheWindowAppearsOnTheFourthTry) {
    fake().find_on_try = 4;
    fake().thread_id = 7;
    EXPECT_EQ(find_console_window(), reinterpret_cast<HWND>(fake().console_window));
    EXPECT_THAT(fake().calls, ElementsAreArray(locked({"GetConsoleTitleW(32768)",
                                                       "GetCurrentThreadId()",
                                                       "wsprintfA(\"tavrik%d\") = \"tavrik7\"",
                                                       "SetConsoleTitleA(\"tavrik7\")",
                                                       "FindWindowA(NULL, \"tavrik7\")", "Sleep(100)",
                                                       "FindWindowA(NULL, \"tavrik7\")", "Sleep(100)",
                                                       "FindWindowA(NULL, \"tavrik7\")", "Sleep(100)",
                                                       "FindWindowA(NULL, \"tavrik7\")",
                                                       "SetConsoleTitleW(\"Command Prompt\")"})));
}

TEST_F(Locator, GivesUpAfterThirtyTriesAndStillRestoresTheTitle) {
    fake().find_on_try = 0;
    EXPECT_EQ(find_console_window(), nullptr);
    std::vector<std::string> expected = {"GetConsoleTitleW(32768)", "GetCurrentThreadId()",
                                         "wsprintfA(\"tavrik%d\") = \"tavrik4242\"",
                                         "SetConsoleTitleA(\"tavrik4242\")"};
    for (int i = 0; i < 30; ++i) {
        expected.push_back("FindWindowA(NULL, \"tavrik4242\")");
        expected.push_back("Sleep(100)");
    }
    expected.push_back("SetConsoleTitleW(\"Command Prompt\")");
    EXPECT_THAT(fake().calls, ElementsAreArray(locked(expected)));
    EXPECT_EQ(fake().console_title, u"Command Prompt");
}

TEST_F(Locator, TagShowsHighThreadIdsAsSignedNumbers) {
    const struct {
        DWORD thread_id;
        const char* tag;
    } cases[] = {{7, "tavrik7"}, {2147483647u, "tavrik2147483647"},
                 {2147483648u, "tavrik-2147483648"}, {4294967295u, "tavrik-1"}};
    for (const auto& c : cases) {
        reset_fake();
        fake().thread_id = c.thread_id;
        EXPECT_NE(find_console_window(), nullptr) << c.tag;
        EXPECT_THAT(fake().calls, testing::Contains(std::string("SetConsoleTitleA(\"") + c.tag + "\")"));
    }
}

TEST_F(Locator, HandsBackTitlesOutsideTheAnsiCodePageUnchanged) {
    const std::u16string titles[] = {
        u"日本", u"C:\\Users\\Zoë — build 💡", u"",
        std::u16string(kSavedTitleUnits - 1, u'é'),  // the longest title the buffer holds
    };
    for (const std::u16string& title : titles) {
        reset_fake();
        fake().console_title = title;
        find_console_window();
        EXPECT_EQ(fake().console_title, title) << utf8(title).substr(0, 40);
    }
}

TEST_F(Locator, FailedTitleQueryRestoresAnEmptyTitle) {
    // The first run leaves a title in the stack slot the saved title will
    // occupy next time; a query that fails must not hand that back.
    fake().console_title = u"left over from before";
    find_console_window();
    reset_fake();
    fake().title_query_fails = true;
    fake().console_title = u"unreadable";
    EXPECT_NE(find_console_window(), nullptr);
    EXPECT_EQ(last_title_set(), "SetConsoleTitleW(\"\")");
}

TEST_F(Locator, TakesOverAnAbandonedLockAndGoesOnWithoutOneItCannotGet) {
    const struct {
        const char* what;
        std::intptr_t mutex;
        DWORD wait;
        std::vector<std::string> lock_calls;  // after the title is restored
    } cases[] = {
        // A run killed while holding it: the lock is ours, and released.
        {"abandoned", 88, WAIT_ABANDONED, {"ReleaseMutex(88)", "CloseHandle(88)"}},
        // Another run kept it past the wait: go on, release nothing.
        {"timed out", 88, WAIT_TIMEOUT, {}},
        {"no mutex", 0, WAIT_OBJECT_0, {}},
    };
    for (const auto& c : cases) {
        reset_fake();
        fake().title_lock = c.mutex;
        fake().lock_wait = c.wait;
        EXPECT_EQ(find_console_window(), reinterpret_cast<HWND>(fake().console_window)) << c.what;
        EXPECT_EQ(fake().console_title, u"Command Prompt") << c.what;
        const auto& calls = fake().calls;
        const auto restored = std::find(calls.begin(), calls.end(), "SetConsoleTitleW(\"Command Prompt\")");
        ASSERT_NE(restored, calls.end()) << c.what;
        EXPECT_EQ(std::vector<std::string>(restored + 1, calls.end()), c.lock_calls) << c.what;
        const auto searched = std::find(calls.begin(), calls.end(), "FindWindowA(NULL, \"tavrik4242\")");
        if (c.wait == WAIT_TIMEOUT) {
            // The handle is closed before the title is touched, never held.
            EXPECT_LT(std::find(calls.begin(), calls.end(), "CloseHandle(88)"), searched) << c.what;
        }
    }
}

}  // namespace
