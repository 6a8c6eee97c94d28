#include "protocol/com_names.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace vx::protocol {

namespace {

constexpr std::string_view kComPrefix = "COM";

bool SamePrefixAnyCase(std::string_view name) {
    return name.size() >= kComPrefix.size() &&
           std::equal(kComPrefix.begin(), kComPrefix.end(), name.begin(), [](char want, char got) {
               return want == std::toupper(static_cast<unsigned char>(got));
           });
}

}  // namespace

bool IsScanPort(int number) {
    return number >= kFirstScanPort && number <= kLastScanPort;
}

std::string ComName(int number) {
    return std::string{kComPrefix} + std::to_string(number);
}

std::optional<int> ParseComName(std::string_view name) {
    if (!SamePrefixAnyCase(name))
        return std::nullopt;
    const std::string_view digits = name.substr(kComPrefix.size());
    if (digits.empty() || digits.front() < '1' || digits.front() > '9')
        return std::nullopt;
    int number = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, number);
    if (error != std::errc{} || stop != end || number > kMaxComNumber)
        return std::nullopt;
    return number;
}

}  // namespace vx::protocol
