#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace vx::testing {

// Names a table's case after its printed value ("19200,e,8,1" becomes
// "3_19200_e_8_1"), so a failing case can be found at a glance; the leading
// index keeps names unique and never empty.
struct PrintedCaseName {
    static constexpr std::size_t kMaxValueChars = 40;

    template <class Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        std::string name = std::to_string(info.index) + "_";
        for (const char c : ::testing::PrintToString(info.param)) {
            const bool keep = std::isalnum(static_cast<unsigned char>(c)) != 0;
            if (keep)
                name += c;
            else if (name.back() != '_')
                name += '_';
            if (name.size() > kMaxValueChars)
                break;
        }
        while (name.back() == '_') name.pop_back();
        return name;
    }
};

}  // namespace vx::testing
