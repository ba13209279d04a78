// main.cpp: entry of the show. Placeholder until the frame loop is written.
int main() { return 1; }
