// A do-nothing program whose only purpose is to be inspected by the tests.
int main() { return 0; }
