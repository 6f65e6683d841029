// The targets' secrets: kept per target in the user's store, and read from
// the file given to pelvaro-read.

#include "delivery/SecretStore.h"

#include "fileio/AtomicFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(SecretStoreTest, KeptPerTargetReplacedAndRemoved) {
    test::TempDir dir;
    const auto file = dir.path() / "Pelvaro" / "Geheim";
    SecretStore store(file);
    EXPECT_EQ(store.secretFor("https://a/"), "") << "no store yet";
    ASSERT_EQ(store.keep("https://a/", "Bearer eins zwei"), std::nullopt);
    ASSERT_EQ(store.keep("mqtts://b:8883/t", "pass\twort ä"), std::nullopt);
    ASSERT_EQ(store.keep("https://a/", "Bearer drei"), std::nullopt);

    SecretStore again(file);
    EXPECT_EQ(again.secretFor("https://a/"), "Bearer drei");
    EXPECT_EQ(again.secretFor("mqtts://b:8883/t"), "pass\twort ä");
    EXPECT_EQ(again.secretFor("https://a"), "") << "the URL as written is the key";

    EXPECT_TRUE(again.keep("https://a/", "zwei\nZeilen")) << "would spill into another entry";
    EXPECT_TRUE(again.keep("https://x/\nmqtt://y/", "s"));
    ASSERT_EQ(again.keep("https://a/", ""), std::nullopt);
    EXPECT_EQ(again.secretFor("https://a/"), "");
    EXPECT_EQ(again.secretFor("mqtts://b:8883/t"), "pass\twort ä");
}

TEST(SecretStoreTest, SecretFileGivesItsFirstLine) {
    test::TempDir dir;
    const auto file = dir.path() / "secret";
    const auto secretIn = [&](const std::string& text) {
        // Private, as a file readable by everyone is refused.
        EXPECT_TRUE(replaceFileContents(file, text, NewFileAccess::UserOnly));
        std::string error;
        const auto secret = readSecretFile(file, error);
        EXPECT_EQ(secret.has_value(), error.empty()) << text;
        return secret;
    };
    EXPECT_EQ(secretIn("Bearer abc\r\nzweite Zeile\n"), "Bearer abc");
    EXPECT_EQ(secretIn("ohne Zeilenende"), "ohne Zeilenende");
    EXPECT_EQ(secretIn(""), std::nullopt);
    EXPECT_EQ(secretIn("\nBearer abc\n"), std::nullopt) << "an empty first line is no secret";
    EXPECT_EQ(secretIn(std::string(100000, 'x')), std::nullopt);
    std::string error;
    EXPECT_EQ(readSecretFile(dir.path() / "fehlt", error), std::nullopt);
    EXPECT_NE(error.find("fehlt"), std::string::npos) << error;
}

} // namespace
} // namespace pelvaro
