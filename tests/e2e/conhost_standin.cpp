// Test-only stand-in for Windows' conhost.exe, built as conhost.exe and put
// first on the PATH of the cases that start one: Wine's own runs nothing.
// It treats its command line as the console host does (ConsoleArguments.cpp
// in microsoft/terminal): split with CommandLineToArgvW, then, from the first
// argument that is not the host's own, each argument quoted again by
// EscapeArgument's rules and joined with one blank. It starts that in a new
// console, waits for it, and exits with its status (125 if it could not).
#include <windows.h>

#include <string>

namespace {

constexpr int kCouldNotStart = 125;

// EscapeArgument: quotes around an argument with a blank or a tab (or an
// empty one), a backslash before each double quote, and the backslashes
// that come right before a double quote, or before the closing quote,
// doubled. Anything else, & and ^ among them, stays as it is.
std::wstring escape_argument(const std::wstring& argument) {
    if (argument.empty()) return L"\"\"";
    const bool blank = argument.find_first_of(L" \t") != std::wstring::npos;
    if (!blank && argument.find_first_of(L"\"\\") == std::wstring::npos) return argument;
    std::wstring quoted = blank ? L"\"" : L"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"') quoted.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        quoted.push_back(c);
    }
    if (blank) quoted.append(backslashes, L'\\').push_back(L'"');
    return quoted;
}

}  // namespace

int wmain() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == NULL) return kCouldNotStart;
    // The host's own arguments that the recipes could meet: "--" marks the
    // start of the client's command line explicitly; anything else starts it.
    int first = 1;
    if (first < count && std::wstring(arguments[first]) == L"--") ++first;
    std::wstring client;
    for (int i = first; i < count; ++i) {
        if (i > first) client += L' ';
        client += escape_argument(arguments[i]);
    }
    LocalFree(arguments);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, &client[0], NULL, NULL, FALSE, CREATE_NEW_CONSOLE, NULL, NULL, &startup, &process)) {
        return kCouldNotStart;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = kCouldNotStart;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
