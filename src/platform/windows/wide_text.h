#pragma once

#include <windows.h>

#include <string>

namespace vx::platform {

// UTF-8 as the wide text the system's calls take; empty for text that is not
// UTF-8, which names no file.
inline std::wstring Wide(const std::string& text) {
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                          static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), count);
    return wide;
}

}  // namespace vx::platform
