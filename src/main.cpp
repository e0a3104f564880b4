// The process entry: the Qt window layer, then the program.
int main() { return 0; }
