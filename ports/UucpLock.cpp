#include "UucpLock.h"

#include <climits>
#include <cstring>

std::optional<pid_t> ParseUucpLockPid(std::string_view bytes) {
    const auto isAsciiText = [&] {
        for (const char c : bytes) {
            if (c != ' ' && c != '\n' && c != '\t' && (c < '0' || c > '9')) {
                return false;
            }
        }
        return true;
    };
    long long value = 0;
    if (bytes.size() == sizeof(int) && !isAsciiText()) {
        int binary = 0;
        std::memcpy(&binary, bytes.data(), sizeof binary); // the old binary form: exactly one int
        value = binary;
    } else {
        std::size_t i = bytes.find_first_not_of(' ');
        if (i == std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t first = i;
        for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
            value = value * 10 + (bytes[i] - '0');
            if (value > INT_MAX) {
                return std::nullopt;
            }
        }
        if (i == first || (i < bytes.size() && bytes[i] != '\n' && bytes[i] != ' ' && bytes[i] != '\t')) {
            return std::nullopt;
        }
    }
    if (value <= 0 || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<pid_t>(value);
}
