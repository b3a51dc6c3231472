// The arithmetic every reader shares: numbers as names, and marker times.
#include "brindle_core.h"

void ntostr(char *text, uint32_t number) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    text[n] = '\0';
}

float brindle_time_ms(brindle_time t) {
    const float position =
        t.is_signed ? static_cast<float>(static_cast<int32_t>(t.position)) : static_cast<float>(t.position);
    if (t.arith == BRINDLE_SINGLE) {
        const float quotient = position / static_cast<float>(t.rate);
        return quotient * 1000.0f;
    }
    return static_cast<float>(static_cast<double>(position) * 1000.0 / static_cast<double>(t.rate));
}
