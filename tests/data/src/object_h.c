int counter;
static int helper(int x) { return x + counter; }
int api(int y) { return helper(y) * 2; }
