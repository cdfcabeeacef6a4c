// Entry point: the C runtime's start-up code calls main, whose result becomes
// the exit code. run reads the raw command line itself, not argv.
#include "app/run.h"

int main() { return run(); }
