// Command-line classification.
#include "app/run_mode.h"

#include <cstring>

RunMode ParseRunMode(const char* argument)
{
    if (!argument)
        return RunMode::None;
    static const struct {
        const char* letters;
        RunMode mode;
    } order[] = {
        {"cC", RunMode::Configure},
        {"aA", RunMode::ChangePassword},
        {"pP", RunMode::Preview},
        {"tT", RunMode::Test},
        {"sS", RunMode::Saver},
    };
    for (const auto& entry : order) {
        if (std::strpbrk(argument, entry.letters))
            return entry.mode;
    }
    return RunMode::None;
}

int64_t ParseWindowHandle(const char* argument)
{
    if (!argument)
        return 0;
    const char* p = argument;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        uint64_t value = 0;
        int digits = 0;
        for (p += 2; digits < 16; ++p, ++digits) {
            const char c = *p;
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else break;
            value = value * 16 + static_cast<uint64_t>(d);
        }
        return static_cast<int64_t>(value);
    }
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    int64_t value = 0;
    // Stops before the value could overflow; a longer run of digits names no
    // window anyway.
    for (int digits = 0; *p >= '0' && *p <= '9' && digits < 18; ++p, ++digits)
        value = value * 10 + (*p - '0');
    return negative ? -value : value;
}
