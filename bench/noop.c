/* Stand-in for ssh during the benchmark: starts, does nothing, exits 0. */
int main(void) { return 0; }
