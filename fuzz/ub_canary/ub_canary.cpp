// Undefined behaviour on purpose: a signed overflow. The fuzz stage runs
// this and expects it to stop, which shows that the fuzz tree halts on
// undefined behaviour instead of reporting it and carrying on.
#include <climits>
#include <cstdio>

int main(int argc, char** /*argv*/) {
    volatile int largest = INT_MAX;
    const int sum = largest + argc;
    std::printf("carried on past an overflow: %d\n", sum);
    return 0;
}
