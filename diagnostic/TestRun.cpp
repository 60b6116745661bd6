#include "diagnostic/TestRun.h"

#include <climits>
#include <cstdlib>

int32_t LoopCountValue(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}
