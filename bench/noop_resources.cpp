// A do-nothing program that carries tavrik's icon and version record, so the
// size comparison can tell the resources apart from the tool's own code.
int main() { return 0; }
