#include "fileio/ProfileFile.h"

#include "tests/support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace pelvaro {
namespace {

const std::string kWindowsFile = "; settings\r\n[Serial]\r\nPort=3\r\nCardLen = 0x0E \r\n\r\n"
                                 "[Global]\r\nLineFeed=1\r\n";

TEST(ProfileFileTest, FindsValuesLikeTheProfileFunctions) {
    EXPECT_EQ(findProfileValue(kWindowsFile, "Serial", "Port"), "3");
    EXPECT_EQ(findProfileValue(kWindowsFile, "serial", "CARDLEN"), "0x0E");
    EXPECT_EQ(findProfileValue(kWindowsFile, "Global", "LineFeed"), "1");
    EXPECT_EQ(findProfileValue(kWindowsFile, "Global", "Port"), std::nullopt);
    EXPECT_EQ(findProfileValue(kWindowsFile, "Ports", "Com1"), std::nullopt);
    EXPECT_EQ(findProfileValue("[A]\n;Key=1\nKey=\n", "A", "Key"), "");
}

TEST(ProfileFileTest, ReplacingAKeyChangesOnlyItsLine) {
    const std::string changed = withProfileValue(kWindowsFile, "SERIAL", "cardlen", "14");
    EXPECT_EQ(changed, "; settings\r\n[Serial]\r\nPort=3\r\ncardlen=14\r\n\r\n"
                       "[Global]\r\nLineFeed=1\r\n");
}

TEST(ProfileFileTest, NewKeyGoesAfterTheSectionsLastEntryWithTheFilesLineEnd) {
    EXPECT_EQ(withProfileValue(kWindowsFile, "Serial", "Hitag_inv", "1"),
              "; settings\r\n[Serial]\r\nPort=3\r\nCardLen = 0x0E \r\nHitag_inv=1\r\n\r\n"
              "[Global]\r\nLineFeed=1\r\n");
    EXPECT_EQ(withProfileValue("[A]\nx=1", "A", "y", "2"), "[A]\nx=1\ny=2\n");
}

TEST(ProfileFileTest, NewSectionIsAppended) {
    EXPECT_EQ(withProfileValue("", "Serial", "Port", "0"), "[Serial]\nPort=0\n");
    EXPECT_EQ(withProfileValue(kWindowsFile, "Ports", "Com3", "/dev/pts/4"),
              kWindowsFile + "[Ports]\r\nCom3=/dev/pts/4\r\n");
    EXPECT_EQ(withProfileValue("[A]\nx=1", "B", "y", "2"), "[A]\nx=1\n[B]\ny=2\n");
}

class ProfileFileOnDiskTest : public ::testing::Test {
protected:
    std::string contents() const {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeFile(const std::string& text) const { std::ofstream(file, std::ios::binary) << text; }

    test::TempDir dir;
    std::filesystem::path file = dir.path() / "Pelvaro.ini";
};

TEST_F(ProfileFileOnDiskTest, WritesCreateAndKeepTheRestByteForByte) {
    EXPECT_EQ(readProfileString(file, "Serial", "Port"), std::nullopt);
    ASSERT_TRUE(writeProfileString(file, "Serial", "Port", "7"));
    EXPECT_EQ(readProfileString(file, "Serial", "Port"), "7");

    writeFile(kWindowsFile);
    ASSERT_TRUE(writeProfileString(file, "Global", "LineFeed", "0"));
    std::string expected = kWindowsFile;
    expected.replace(expected.find("LineFeed=1"), 10, "LineFeed=0");
    EXPECT_EQ(contents(), expected);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";
}

TEST_F(ProfileFileOnDiskTest, WriteProtectedFileIsLeftAlone) {
    writeFile(kWindowsFile);
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    EXPECT_FALSE(writeProfileString(file, "Serial", "Port", "9"));
    EXPECT_EQ(contents(), kWindowsFile);
}

TEST_F(ProfileFileOnDiskTest, WriteKeepsThePermissionsOfTheFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps no such permission bits";
#endif
    writeFile("[A]\n");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
    ASSERT_TRUE(writeProfileString(file, "A", "x", "1"));
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(ProfileFileOnDiskTest, LineBreaksInNamesOrValuesAreRefused) {
    writeFile(kWindowsFile);
    EXPECT_FALSE(writeProfileString(file, "Serial", "Port", "1\r\n[Evil]"));
    EXPECT_FALSE(writeProfileString(file, "Serial", "Po\nrt", "1"));
    EXPECT_FALSE(writeProfileString(file, "Serial", "Port=", "1"));
    EXPECT_EQ(contents(), kWindowsFile);
}

TEST_F(ProfileFileOnDiskTest, SymbolicLinksStayAndTheirTargetIsWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    namespace fs = std::filesystem;
    fs::create_directories(dir.path() / "shared" / "conf");
    const fs::path target = dir.path() / "shared" / "conf" / "Pelvaro.ini";
    std::ofstream(target, std::ios::binary) << kWindowsFile;
    fs::create_symlink("settings-link", file); // a chain, the last link relative
    fs::create_symlink("shared/conf/Pelvaro.ini", dir.path() / "settings-link");

    ASSERT_TRUE(writeProfileString(file, "Global", "LineFeed", "0"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "settings-link"));
    EXPECT_EQ(readProfileString(target, "Global", "LineFeed"), "0");
    EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), fs::directory_iterator()),
              1)
        << "replaced beside the target, nothing left there";

    fs::remove(target); // a dangling link: the file is made where it points
    ASSERT_TRUE(writeProfileString(file, "Serial", "Port", "4"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(readProfileString(target, "Serial", "Port"), "4");
}

TEST_F(ProfileFileOnDiskTest, MissingDirectoryFails) {
    EXPECT_FALSE(writeProfileString(dir.path() / "gone" / "Pelvaro.ini", "A", "x", "1"));
}

} // namespace
} // namespace pelvaro
