// The fair floor for tavrik's start-up time: does nothing but one USER32
// call, which under Wine pays for starting the display driver, as tavrik's
// first FindWindowA does.
#include <windows.h>

int main() { return FindWindowA(NULL, "no such window, ever") != NULL; }
