// PLACEHOLDER: replaced by the command-line tool.
int main() { return 0; }
