// What vxctl draws on a terminal: escapes only where the terminal takes them,
// and a line redrawn in place either way.
#include <sstream>

#include <gtest/gtest.h>

#include "vxctl/output.h"

namespace vx::ctl {
namespace {

struct TerminalCase {
    const char* name;
    bool escapes;
    const char* lampRow;       // the first reading: inputs 1 and 16 lit
    const char* progressEnds;  // after a wide status, a narrower one
};

void PrintTo(const TerminalCase& c, std::ostream* os) {
    *os << c.name;
}

class PrinterOnATerminal : public ::testing::TestWithParam<TerminalCase> {};

TEST_P(PrinterOnATerminal, DrawsLampsAndProgressInPlace) {
    const TerminalCase& c = GetParam();
    std::ostringstream out;
    std::ostringstream err;
    const StreamKind kind{true, c.escapes};
    {
        Printer printer(Options{}, out, err, kind, kind);
        protocol::ChannelFlags inputs{};
        inputs.front() = inputs.back() = true;
        printer.Lamps({"io", true, "", {}, std::nullopt, std::nullopt}, inputs);
        printer.Progress("\xE6\x89\xAB\xE6\x8F\x8F COM1");  // two wide characters
        printer.Progress("x");
    }
    EXPECT_EQ(out.str(), std::string{c.lampRow} + "\n");
    EXPECT_EQ(err.str().substr(err.str().find("COM1") + 4), c.progressEnds);
}

#define DARK7 "\u25CB\u25CB\u25CB\u25CB\u25CB\u25CB\u25CB"
INSTANTIATE_TEST_SUITE_P(
    Kinds, PrinterOnATerminal,
    ::testing::Values(TerminalCase{"Escapes", true,
                                   "\r\033[KDI \033[33m\u25CF\033[0m" DARK7 DARK7
                                   "\033[33m\u25CF\033[0m",
                                   "\r\033[Kx\r\033[K"},
                      TerminalCase{"NoEscapes", false, "\rDI \u25CF" DARK7 DARK7 "\u25CF",
                                   "\r         \rx\r \r"}));
#undef DARK7

}  // namespace
}  // namespace vx::ctl
