#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace vx::testing {

// Names a table's case after its printed value ("19200,e,8,1" becomes
// "3_19200_e_8_1"), so a failing case can be found at a glance; the leading
// index keeps names unique. A value with no letter or digit (the empty text)
// is called "empty", since a bare index reads as an unnamed case.
struct PrintedCaseName {
    static constexpr std::size_t kMaxValueChars = 40;

    template <class Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        const std::string index = std::to_string(info.index);
        std::string name = index + "_";
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
        if (name == index)
            name += "_empty";
        return name;
    }
};

}  // namespace vx::testing
