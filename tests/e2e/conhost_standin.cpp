// Test-only stand-in for Windows' conhost.exe started by hand, built as
// conhost.exe and put first on the PATH of the cases that start one (Wine's
// own runs nothing). What it models, read in microsoft/terminal at
// v1.25.1912.0:
//  - the split and the host's own switches: ConsoleArguments::ParseCommandline
//    (src/host/ConsoleArguments.cpp) splits with CommandLineToArgvW, takes its
//    switches (kSwitches below; a missing value is E_INVALIDARG), and starts
//    the client's command line at "--" or at the first other argument;
//  - the re-quoting: EscapeArgument, same file, quotes only an argument with
//    a blank or a tab (or an empty one) and escapes quotes and the
//    backslashes before them; the arguments are joined with one blank;
//  - the legacy console: ShouldUseLegacyConhost and ConhostV2ForcedInRegistry
//    (src/host/exe/exemain.cpp): with -ForceV1, or HKCU\Console ForceV2 a
//    REG_DWORD 0 ("Use legacy console"), a host started by hand starts nothing
//    and wWinMain returns E_INVALIDARG;
//  - the start: Entrypoints::StartConsoleForCmdLine (src/server/Entrypoints.cpp)
//    runs %WINDIR%\system32\cmd.exe for an empty line, expands environment
//    variables over the whole line, then CreateProcessW(NULL, line, ...) in
//    the new console; a failed start is its HRESULT;
//  - the end: the host exits with STATUS_SUCCESS once its last client has
//    gone (RundownAndExit in src/host/srvinit.cpp and output.cpp), whatever
//    the client returned. The stand-in waits for the client it started, not
//    for other processes that share its console.
#include <windows.h>

#include <string>

namespace {

constexpr DWORD kExpandedUnits = 32768;

// The host's own switches, and how many values each takes.
struct Switch {
    const wchar_t* name;
    int values;
};
const Switch kSwitches[] = {
    {L"-ForceV1", 0},     {L"-ForceNoHandoff", 0}, {L"--headless", 0},         {L"--inheritcursor", 0},
    {L"--ambiguousIsWide", 0}, {L"-Embedding", 0}, {L"--width", 1},            {L"--height", 1},
    {L"--feature", 1},    {L"--signal", 1},        {L"--textMeasurement", 1},
};

const Switch* host_switch(const std::wstring& argument) {
    for (const Switch& s : kSwitches) {
        if (argument == s.name) return &s;
    }
    return NULL;
}

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

// HKCU\Console ForceV2: v2 unless it is there, a DWORD, and 0.
bool legacy_forced_in_registry() {
    HKEY console;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Console", 0, KEY_READ, &console) != ERROR_SUCCESS) return false;
    DWORD value = 1, type = 0, size = sizeof value;
    const LONG status = RegQueryValueExW(console, L"ForceV2", NULL, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(console);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 0;
}

}  // namespace

int wmain() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == NULL) return static_cast<int>(HRESULT_FROM_WIN32(GetLastError()));
    bool force_v1 = false;
    std::wstring client;
    int i = 1;
    for (; i < count; ++i) {
        const std::wstring argument = arguments[i];
        const Switch* s = host_switch(argument);
        if (s == NULL) break;
        if (i + s->values >= count) {
            LocalFree(arguments);
            return static_cast<int>(E_INVALIDARG);
        }
        force_v1 = force_v1 || argument == L"-ForceV1";
        i += s->values;
    }
    if (i < count && std::wstring(arguments[i]) == L"--") ++i;
    for (int first = i; i < count; ++i) {
        if (i > first) client += L' ';
        client += escape_argument(arguments[i]);
    }
    LocalFree(arguments);

    if (force_v1 || legacy_forced_in_registry()) return static_cast<int>(E_INVALIDARG);

    if (client.empty()) client = L"%WINDIR%\\system32\\cmd.exe";
    static wchar_t line[kExpandedUnits];
    if (ExpandEnvironmentStringsW(client.c_str(), line, kExpandedUnits) == 0) {
        return static_cast<int>(HRESULT_FROM_WIN32(GetLastError()));
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, CREATE_NEW_CONSOLE, NULL, NULL, &startup, &process)) {
        return static_cast<int>(HRESULT_FROM_WIN32(GetLastError()));
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
