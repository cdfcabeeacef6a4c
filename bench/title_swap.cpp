// The title half of tavrik's window search, without the search: save the
// console title, set a tag, put the title back. Beside direct_move.exe and
// tavrik.exe it shows what changing the console's caption twice costs.
#include <windows.h>

int main() {
    static WCHAR saved[32768];
    saved[0] = 0;
    GetConsoleTitleW(saved, 32768);
    SetConsoleTitleW(L"tavrik-bench");
    SetConsoleTitleW(saved);
    return FindWindowExW(NULL, NULL, NULL, L"no such window, ever") != NULL;
}
