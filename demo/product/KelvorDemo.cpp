// The demo product's own program: proves that the installed copy runs.
#include <cstdio>

int main() {
    std::printf("Kelvor Demo 1.0.0 is installed and runs\n");
    return 0;
}
