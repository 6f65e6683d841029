// The read log on a disk that fills up, made with the limit on file sizes:
// whole lines or none, and the lines that waited go first once there is room.

#include "output/ReadLog.h"

#include "tests/support/FileText.h"
#include "tests/support/SpreadsheetCells.h"
#include "tests/support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace pelvaro {
namespace {

// Files cannot grow past a size while it lasts; a write beyond falls short
// (the signal that would end the process is ignored meanwhile).
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        savedAction_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedAction_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit saved_{};
    void (*savedAction_)(int) = SIG_DFL;
};

TEST(ReadLogOnAFullDiskTest, LinesStayWholeAndTheWaitingOnesGoFirst) {
    test::TempDir dir;
    const auto file = dir.path() / "Protokoll.csv";
    ReadLog log = ReadLog::intoFile(file);
    const auto entry = [](std::string_view code) {
        return ReadLogEntry{{2026, 12, 9, 14, 3, 7}, code, "4711", "4711", "getippt"};
    };
    ASSERT_EQ(log.append(entry("01")), std::nullopt);
    const std::string before = test::fileText(file);
    {
        const FullDisk full(before.size() + 10); // room for part of a line
        EXPECT_EQ(log.append(entry("02")), "Konnte das Leseprotokoll " + file.string() +
                                               " nicht schreiben. 1 Zeile wartet.");
        EXPECT_EQ(test::fileText(file), before) << "the part written is taken back";
        EXPECT_EQ(log.append(entry("03")), std::nullopt);
    }
    EXPECT_EQ(log.append(entry("04")), std::nullopt);

    const std::string text = test::fileText(file);
    const auto rows = test::spreadsheetCells(text);
    ASSERT_EQ(rows.size(), 5u) << text;
    for (size_t row = 1; row < rows.size(); ++row)
        EXPECT_EQ(rows[row][1], (std::string{'0', static_cast<char>('0' + row)})) << text;
}

} // namespace
} // namespace pelvaro
