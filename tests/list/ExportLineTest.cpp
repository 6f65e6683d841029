#include "list/ExportLine.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(ExportLineTest, WorkedExample) {
    EXPECT_EQ(BuildExportLine("0001", "00ABCDEF12"), "0001;00 AB CD EF 12 ;2882400018");
    EXPECT_EQ(BuildExportLine("x", "FFFFFFFFFFFFFFFFFFFFFF"),
              "x;FF FF FF FF FF FF FF FF FF FF FF ;309485009821345068724781055");
}

TEST(ExportLineTest, BlanksAndControlCharactersAtTheEndsAreRemoved) {
    EXPECT_EQ(BuildExportLine(" \t0001\r\n ", "  00ABCDEF12\x01"),
              "0001;00 AB CD EF 12 ;2882400018");
    EXPECT_EQ(BuildExportLine(" Tor 1 ", " "), "Tor 1;;0");
    EXPECT_EQ(BuildExportLine("", ""), ";;0");
}

TEST(ExportLineTest, CodeConvertsUpToItsFirstPairThatIsNotHex) {
    EXPECT_EQ(BuildExportLine("odd", "00ABC"), "odd;00 AB ;171");
    EXPECT_EQ(BuildExportLine("odd", std::string_view("00ABCDEF", 5)), "odd;00 AB ;171");
    EXPECT_EQ(BuildExportLine("stop", "00AB-CDEF"), "stop;00 AB ;171");
    EXPECT_EQ(BuildExportLine("stop", "00ABC-DEF"), "stop;00 AB ;171");
    EXPECT_EQ(BuildExportLine("inner", "AB CD"), "inner;AB ;171");
    EXPECT_EQ(BuildExportLine("none", "G0FF"), "none;;0");
    EXPECT_EQ(BuildExportLine("none", "0x12"), "none;;0");
    EXPECT_EQ(BuildExportLine("none", "+1-1"), "none;;0");
    EXPECT_EQ(BuildExportLine("one", "F"), "one;;0");
}

TEST(ExportLineTest, LowerCaseHexIsWrittenAsTyped) {
    EXPECT_EQ(BuildExportLine("0002", "00abCdEf12"), "0002;00 ab Cd Ef 12 ;2882400018");
}

} // namespace
} // namespace pelvaro
