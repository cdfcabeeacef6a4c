// What `tavrik move 10,10` would cost if the console window were known for
// free: GetConsoleWindow and the same SetWindowPos, no title search. The
// difference to tavrik.exe is the price of finding the window by its title.
#include <windows.h>

int main() {
    SetWindowPos(GetConsoleWindow(), NULL, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}
