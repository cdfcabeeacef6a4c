// The floor for start-up time and size: a program that does nothing, built
// with the same toolchain and flags as tavrik.exe.
int main() { return 0; }
