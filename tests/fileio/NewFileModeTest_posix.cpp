// The mode of the files Pelvaro makes: what the umask leaves for settings and
// the like, the user's alone for the read log and the desktop's token.

#include "fileio/AppendFile.h"
#include "fileio/AtomicFile.h"
#include "fileio/ProfileFile.h"
#include "tests/support/FileMode_posix.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

using test::modeOf;
using test::UmaskWhileAlive;

TEST(NewFileModeTest, TheUmaskForSettingsAndTheUserAloneForPrivateFiles) {
    test::TempDir dir;
    for (const auto& [mask, usual] :
         {std::pair<mode_t, mode_t>{077, 0600}, {022, 0644}, {0277, 0400}}) {
        SCOPED_TRACE(testing::Message() << "umask " << std::oct << mask);
        const UmaskWhileAlive umask(mask);
        const auto folder = dir.path() / std::to_string(mask);
        std::filesystem::create_directory(folder);
        ASSERT_TRUE(writeProfileString(folder / "Pelvaro.ini", "Serial", "Port", "3"));
        EXPECT_EQ(modeOf(folder / "Pelvaro.ini"), usual);
        ASSERT_TRUE(replaceFileContents(folder / "token", "t", NewFileAccess::UserOnly));
        EXPECT_EQ(modeOf(folder / "token"), 0600u);
        ASSERT_TRUE(appendToFile(folder / "Pelvaro.csv", "Zeit\r\n", "1\r\n"));
        EXPECT_EQ(modeOf(folder / "Pelvaro.csv"), 0600u);
    }

    const auto shared = dir.path() / "shared.csv";
    ASSERT_TRUE(appendToFile(shared, "Zeit\r\n", "1\r\n"));
    ::chmod(shared.c_str(), 0640);
    ASSERT_TRUE(appendToFile(shared, "Zeit\r\n", "2\r\n"));
    EXPECT_EQ(modeOf(shared), 0640u) << "an existing file keeps its mode";
}

} // namespace
} // namespace pelvaro
