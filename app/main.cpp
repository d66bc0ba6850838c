#include <cstdio>

int main() {
    std::fputs("Tarvelio: the main window is not built yet; run the tests instead.\n", stderr);
    return 0;
}
