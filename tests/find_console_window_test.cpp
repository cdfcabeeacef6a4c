// The locator's call sequence against the recording fake: the title lock and
// the Ctrl+C handler around it all, tag text, search and pause counts, the
// tag put back when someone else retitles the console, windows of other
// consoles that show the tag stepped past, and the console title handed back
// unchanged in every case.
#include "console/find_console_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
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

const std::vector<std::string> kTakeLock = {
    "GetConsoleWindow()", "wsprintfA(\"Local\\tavrik-title-%lu\") = \"Local\\tavrik-title-1001\"",
    "CreateMutexA(NULL, 0, \"Local\\tavrik-title-1001\")", "WaitForSingleObject(88, 3500)"};

// The title lock, named after the console window (1001), and inside it the
// Ctrl+C handler, around the body; the handler goes after the lock.
std::vector<std::string> locked(std::vector<std::string> body) {
    std::vector<std::string> calls = kTakeLock;
    calls.push_back("SetConsoleCtrlHandler(handler, 1)");
    calls.insert(calls.end(), body.begin(), body.end());
    for (const char* call : {"ReleaseMutex(88)", "CloseHandle(88)", "SetConsoleCtrlHandler(handler, 0)"}) {
        calls.push_back(call);
    }
    return calls;
}

// The last count calls recorded; a failure, and all there are, when fewer
// were made.
std::vector<std::string> last_calls(size_t count) {
    const auto& calls = fake().calls;
    if (calls.size() < count) {
        ADD_FAILURE() << "only " << calls.size() << " call(s) recorded, fewer than the " << count << " asked for";
        return calls;
    }
    return {calls.end() - static_cast<std::ptrdiff_t>(count), calls.end()};
}

std::string last_title_set() {
    const auto& calls = fake().calls;
    for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
        if (call->rfind("SetConsoleTitle", 0) == 0) return *call;
    }
    return "";
}

TEST_F(Locator, AskedForMoreCallsThanWereMadeTheTestFailsInsteadOfReadingPastThem) {
    fake().calls = {"GetConsoleWindow()", "Sleep(100)"};
    std::vector<std::string> got;
    EXPECT_NONFATAL_FAILURE(got = last_calls(5), "only 2 call(s) recorded");
    EXPECT_THAT(got, ElementsAre("GetConsoleWindow()", "Sleep(100)"));
}

TEST_F(Locator, FindsTheWindowOnTheFirstTryWithoutPausing) {
    fake().console_title = u"Command Prompt";
    EXPECT_EQ(find_console_window().window, reinterpret_cast<HWND>(fake().console_window));
    EXPECT_THAT(fake().calls, ElementsAreArray(locked({"GetConsoleTitleW(32768)",
                                                       "GetCurrentThreadId()",
                                                       "wsprintfW(\"tavrik%d\") = \"tavrik4242\"",
                                                       "SetConsoleTitleW(\"tavrik4242\")",
                                                       "FindWindowExW(0, 0, NULL, \"tavrik4242\")",
                                                       "SetConsoleTitleW(\"Command Prompt\")"})));
    EXPECT_EQ(fake().console_title, u"Command Prompt");
}

TEST_F(Locator, KeepsSearchingUntilTheWindowAppearsOnTheFourthTry) {
    fake().find_on_try = 4;
    fake().thread_id = 7;
    EXPECT_EQ(find_console_window().window, reinterpret_cast<HWND>(fake().console_window));
    EXPECT_THAT(fake().calls, ElementsAreArray(locked({"GetConsoleTitleW(32768)",
                                                       "GetCurrentThreadId()",
                                                       "wsprintfW(\"tavrik%d\") = \"tavrik7\"",
                                                       "SetConsoleTitleW(\"tavrik7\")",
                                                       "FindWindowExW(0, 0, NULL, \"tavrik7\")", "Sleep(100)",
                                                       "GetConsoleTitleW(256)",  // still the tag
                                                       "FindWindowExW(0, 0, NULL, \"tavrik7\")", "Sleep(100)",
                                                       "GetConsoleTitleW(256)",
                                                       "FindWindowExW(0, 0, NULL, \"tavrik7\")", "Sleep(100)",
                                                       "GetConsoleTitleW(256)",
                                                       "FindWindowExW(0, 0, NULL, \"tavrik7\")",
                                                       "SetConsoleTitleW(\"Command Prompt\")"})));
}

TEST_F(Locator, GivesUpAfterThirtyTriesAndStillRestoresTheTitle) {
    fake().find_on_try = 0;
    const ConsoleWindowSearch search = find_console_window();
    EXPECT_EQ(search.window, nullptr);
    EXPECT_FALSE(search.interrupted);
    std::vector<std::string> expected = {"GetConsoleTitleW(32768)", "GetCurrentThreadId()",
                                         "wsprintfW(\"tavrik%d\") = \"tavrik4242\"",
                                         "SetConsoleTitleW(\"tavrik4242\")"};
    for (int i = 0; i < 30; ++i) {
        if (i > 0) expected.push_back("GetConsoleTitleW(256)");
        expected.push_back("FindWindowExW(0, 0, NULL, \"tavrik4242\")");
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
        EXPECT_NE(find_console_window().window, nullptr) << c.tag;
        EXPECT_THAT(fake().calls, testing::Contains(std::string("SetConsoleTitleW(\"") + c.tag + "\")"));
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
    EXPECT_NE(find_console_window().window, nullptr);
    EXPECT_EQ(last_title_set(), "SetConsoleTitleW(\"\")");
}

TEST_F(Locator, TakesOverAnAbandonedLockAndGoesOnWhenThereIsNone) {
    const struct {
        const char* what;
        std::intptr_t mutex;
        DWORD wait;
        std::vector<std::string> tail;  // after the title is restored
    } cases[] = {
        // A run killed while holding it: the lock is ours, and released.
        {"abandoned", 88, WAIT_ABANDONED,
         {"ReleaseMutex(88)", "CloseHandle(88)", "SetConsoleCtrlHandler(handler, 0)"}},
        {"no mutex", 0, WAIT_OBJECT_0, {"SetConsoleCtrlHandler(handler, 0)"}},
    };
    for (const auto& c : cases) {
        reset_fake();
        fake().title_lock = c.mutex;
        fake().lock_wait = c.wait;
        EXPECT_EQ(find_console_window().window, reinterpret_cast<HWND>(fake().console_window)) << c.what;
        EXPECT_EQ(fake().console_title, u"Command Prompt") << c.what;
        const auto& calls = fake().calls;
        const auto restored = std::find(calls.begin(), calls.end(), "SetConsoleTitleW(\"Command Prompt\")");
        ASSERT_NE(restored, calls.end()) << c.what;
        EXPECT_EQ(std::vector<std::string>(restored + 1, calls.end()), c.tail) << c.what;
    }
}

TEST_F(Locator, LockKeptPastTheWaitLeavesTheTitleAloneAndFindsNothing) {
    // Only a run whose own search is failing holds the lock that long: this
    // one would fail too, and must not save that run's tag as the title.
    fake().lock_wait = WAIT_TIMEOUT;
    const ConsoleWindowSearch search = find_console_window();
    EXPECT_EQ(search.window, nullptr);
    EXPECT_FALSE(search.interrupted);
    std::vector<std::string> expected = kTakeLock;
    expected.push_back("CloseHandle(88)");
    EXPECT_THAT(fake().calls, ElementsAreArray(expected));
}

TEST_F(Locator, PutsTheTagBackWhenSomeoneElseRetitlesTheConsole) {
    fake().find_on_try = 2;
    fake().during_sleep = [](int) { fake().console_title = u"Progress 7"; };
    EXPECT_EQ(find_console_window().window, reinterpret_cast<HWND>(fake().console_window));
    EXPECT_THAT(fake().calls, ElementsAreArray(locked({"GetConsoleTitleW(32768)",
                                                       "GetCurrentThreadId()",
                                                       "wsprintfW(\"tavrik%d\") = \"tavrik4242\"",
                                                       "SetConsoleTitleW(\"tavrik4242\")",
                                                       "FindWindowExW(0, 0, NULL, \"tavrik4242\")", "Sleep(100)",
                                                       "GetConsoleTitleW(256)",
                                                       "SetConsoleTitleW(\"tavrik4242\")",
                                                       "FindWindowExW(0, 0, NULL, \"tavrik4242\")",
                                                       "SetConsoleTitleW(\"Command Prompt\")"})));
}

TEST_F(Locator, CtrlCOrBreakStopsTheSearchAndTheTitleGoesBackFirst) {
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT}) {
        reset_fake();
        fake().console_title = u"Mine 日本";
        fake().find_on_try = 0;
        fake().during_sleep = [event](int sleep) {
            if (sleep == 3) {
                EXPECT_TRUE(deliver_ctrl_event(event)) << "the handler let it end the process";
            }
        };
        const ConsoleWindowSearch search = find_console_window();
        EXPECT_EQ(search.window, nullptr) << event;
        EXPECT_TRUE(search.interrupted) << event;
        EXPECT_EQ(fake().find_calls, 3) << event;
        EXPECT_THAT(last_calls(5),
                    ElementsAre("Sleep(100)", "SetConsoleTitleW(\"Mine 日本\")", "ReleaseMutex(88)",
                                "CloseHandle(88)", "SetConsoleCtrlHandler(handler, 0)"))
            << event;
        // Outside the search, Ctrl+C has its default effect again.
        EXPECT_FALSE(deliver_ctrl_event(CTRL_C_EVENT)) << event;
    }
}

TEST_F(Locator, ClosingTheConsoleDuringTheSearchKeepsItsDefaultHandling) {
    fake().find_on_try = 2;
    fake().during_sleep = [](int) { EXPECT_FALSE(deliver_ctrl_event(CTRL_CLOSE_EVENT)); };
    const ConsoleWindowSearch search = find_console_window();
    EXPECT_FALSE(search.interrupted);
    EXPECT_EQ(search.window, reinterpret_cast<HWND>(fake().console_window));
}

TEST_F(Locator, ActsOnlyOnTheConsolesOwnWindowOrTheWindowThatOwnsIt) {
    const struct {
        const char* what;
        std::intptr_t console_window, root_owner, titled_window;
        std::vector<std::intptr_t> foreign;
        bool z_order_churns;
        std::intptr_t found;
        int searches;
    } cases[] = {
        {"another console shows the tag above ours", 1001, 0, 1001, {500}, false, 1001, 1},
        {"only other consoles show the tag", 1001, 0, 0, {500, 501}, false, 0, 30},
        {"no console window at all", 0, 0, 0, {500}, false, 0, 0},
        {"Windows Terminal's window owns ours and shows the tag", 1001, 2002, 2002, {500}, false, 2002, 1},
        {"windows showing the tag keep changing places", 1001, 0, 1001, {500, 501}, true, 0, 30},
    };
    for (const auto& c : cases) {
        reset_fake();
        fake().console_window = c.console_window;
        fake().root_owner = c.root_owner;
        fake().titled_window = c.titled_window;
        fake().foreign_tagged = c.foreign;
        fake().z_order_churns = c.z_order_churns;
        EXPECT_EQ(find_console_window().window, reinterpret_cast<HWND>(c.found)) << c.what;
        EXPECT_EQ(fake().find_calls, c.searches) << c.what;
        EXPECT_EQ(fake().console_title, u"Command Prompt") << c.what;
        // Without a window of its own the run leaves the title alone.
        if (c.console_window == 0) {
            EXPECT_THAT(fake().calls, ElementsAre("GetConsoleWindow()")) << c.what;
        }
    }
}

}  // namespace
