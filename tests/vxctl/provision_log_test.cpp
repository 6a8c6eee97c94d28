// The provisioning log is read back at every start and may hold anything.
#include <gtest/gtest.h>

#include "vxctl/provision.h"

namespace vx::ctl {
namespace {

struct IdCase {
    const char* log;
    const char* serial;
    int idFrom;
    int id;
};

void PrintTo(const IdCase& c, std::ostream* os) {
    *os << c.serial << "_from_" << c.idFrom;
}

class ChooseIdFromLog : public ::testing::TestWithParam<IdCase> {};

TEST_P(ChooseIdFromLog, GivesTheLoggedOrTheLowestFreeId) {
    const IdCase& c = GetParam();
    EXPECT_EQ(ChooseId(ParseProvisionLog(c.log), c.serial, c.idFrom), c.id);
}

constexpr const char* kLog =
    "time,serial,id,line,mode,nonc,result\n"
    "2026-01-01T00:00:00Z,AAAAAAAA,01,\"19200,e,8,1\",hold,0000000000000000,ok\r\n"
    "2026-01-01T00:00:01Z,BBBBBBBB,03,\"19200,e,8,1\",hold,0000000000000000,ok\n"
    "2026-01-01T00:00:02Z,CCCCCCCC,02,\"19200,e,8,1\",hold,0000000000000000,read-back: ID is 07\n"
    "2026-01-01T00:00:03Z,\"D,\"\"D\",04,\"19200,e,8,1\",hold,0000000000000000,ok\n"
    "2026-01-01T00:00:04Z,'=1+2345,05,\"19200,e,8,1\",hold,0000000000000000,ok\n"
    "garbage\n,,,\n2026,EEEEEEEE,x9,,,,ok\n2026,FFFFFFFF,00,,,,ok\n2026,GGGGGGGG,100,,,,ok\n";

constexpr const char* kReserving =
    "t,RRRRRRRR,06,,,,reserved\n"
    "t,FFFFFFFF,07,,,,reserved\nt,FFFFFFFF,01,,,,Set Module ID Error\n"
    "t,KKKKKKKK,09,,,,ok\nt,KKKKKKKK,09,,,,reserved\nt,KKKKKKKK,09,,,,read-back: ID is 02\n";

INSTANTIATE_TEST_SUITE_P(
    Logs, ChooseIdFromLog,
    ::testing::Values(IdCase{kLog, "BBBBBBBB", 1, 3},        // known serial keeps its ID
                      IdCase{kLog, "ZZZZZZZZ", 1, 2},        // a failed row frees its ID
                      IdCase{kLog, "D,\"D", 1, 4},           // quoted field with comma and quote
                      IdCase{kLog, "=1+2345", 1, 5},         // formula-like serial, marked
                      IdCase{kLog, "CCCCCCCC", 3, 6},        // failed serial is new; 3-5 used
                      IdCase{kLog, "EEEEEEEE", 1, 2},        // malformed IDs are ignored
                      IdCase{"", "AAAAAAAA", 99, 99},        // empty log
                      IdCase{"t,X,99,,,,ok\n", "Y", 99, 0},  // none left
                      // A station's reservation holds its ID until that
                      // module fails, except for an ID the module already had.
                      IdCase{kReserving, "ZZZZZZZZ", 6, 7}, IdCase{kReserving, "RRRRRRRR", 1, 6},
                      IdCase{kReserving, "ZZZZZZZZ", 9, 10}));

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(CsvField("58013462"), "58013462");
    EXPECT_EQ(CsvField("19200,e,8,1"), "\"19200,e,8,1\"");
    EXPECT_EQ(CsvField("a\"b\nc"), "\"a\"\"b\nc\"");
    EXPECT_EQ(CsvField("=HYPERLINK(1)"), "'=HYPERLINK(1)");
    EXPECT_EQ(CsvField("-1,2"), "\"'-1,2\"");
}

}  // namespace
}  // namespace vx::ctl
