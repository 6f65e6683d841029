// The read log on Windows: a spreadsheet that holds the file without letting
// others write keeps no line out for good, and the file is the user's and
// SYSTEM's alone.

#include "output/ReadLog.h"

#include "fileio/UserOnlySecurity_win32.h"
#include "tests/support/FileText.h"
#include "tests/support/SpreadsheetCells.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <set>
#include <vector>
#include <windows.h>

namespace pelvaro {
namespace {

ReadLogEntry entry(std::string_view code) {
    return ReadLogEntry{{2026, 12, 9, 14, 3, 7}, code, "4711", "4711", "getippt"};
}

class ReadLogOnWindowsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "Protokoll.csv";
    ReadLog log = ReadLog::intoFile(file);
};

TEST_F(ReadLogOnWindowsTest, LinesWaitWhileASpreadsheetHoldsTheFileAndArriveInOrder) {
    ASSERT_EQ(log.append(entry("01")), std::nullopt);
    // As a spreadsheet opens it: others may read, not write.
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(log.append(entry("02")), "Konnte das Leseprotokoll " + file.string() +
                                           " nicht schreiben. 1 Zeile wartet.");
    EXPECT_EQ(log.append(entry("03")), std::nullopt);
    CloseHandle(held);
    EXPECT_EQ(log.flush(), std::nullopt);

    const std::string text = test::fileText(file);
    const auto rows = test::spreadsheetCells(text);
    ASSERT_EQ(rows.size(), 4u) << text;
    for (size_t row = 1; row < rows.size(); ++row)
        EXPECT_EQ(rows[row][1], (std::string{'0', static_cast<char>('0' + row)})) << text;

    // A program that lets others write does not keep a line out at all.
    held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(log.append(entry("04")), std::nullopt);
    CloseHandle(held);
}

TEST_F(ReadLogOnWindowsTest, OnlyTheUserAndSystemMayOpenTheFile) {
    ASSERT_EQ(log.append(entry("01")), std::nullopt);
    DWORD size = 0;
    GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<unsigned char> descriptor(size);
    ASSERT_TRUE(size > 0 && GetFileSecurityW(file.c_str(), DACL_SECURITY_INFORMATION,
                                             descriptor.data(), size, &size));
    LPWSTR text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    const std::wstring dacl = text;
    LocalFree(text);
    // Wine keeps no more of it than the file's mode says, and tells it in
    // another order without the protection; Windows tells it as given.
    std::set<std::wstring> entries;
    for (size_t open = dacl.find(L'('); open != dacl.npos; open = dacl.find(L'(', open + 1))
        entries.insert(dacl.substr(open, dacl.find(L')', open) + 1 - open));
    ASSERT_FALSE(processUserSid().empty());
    EXPECT_EQ(entries, (std::set<std::wstring>{L"(A;;FA;;;" + processUserSid() + L")",
                                               L"(A;;FA;;;SY)"}))
        << std::string(dacl.begin(), dacl.end());
}

} // namespace
} // namespace pelvaro
