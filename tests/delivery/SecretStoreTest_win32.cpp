// The secret store on Windows: encrypted for the user, so that the file
// shows neither a target nor its secret, and a file that cannot be decrypted
// is neither read nor written over.

#include "delivery/SecretStore.h"
#include "tests/support/FileText.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

TEST(SecretStoreOnWindows, KeptEncryptedAndReadBackByTheUser) {
    test::TempDir dir;
    const auto file = dir.path() / "Pelvaro" / "Pelvaro-Geheimnisse";
    ASSERT_EQ(SecretStore(file).keep("https://erp.example/lesungen", "Bearer geheim-4711"),
              std::nullopt);
    ASSERT_EQ(SecretStore(file).keep("mqtts://broker.example/werk1", "Kennwort-0815"),
              std::nullopt);

    const std::string stored = test::fileText(file);
    for (const char* clear : {"geheim-4711", "Kennwort-0815", "erp.example", "broker.example"})
        EXPECT_EQ(stored.find(clear), std::string::npos) << clear << " in clear text";
    SecretStore again(file);
    EXPECT_EQ(again.secretFor("https://erp.example/lesungen"), "Bearer geheim-4711");
    EXPECT_EQ(again.secretFor("mqtts://broker.example/werk1"), "Kennwort-0815");

    // A store this user cannot decrypt: another account's, or a damaged one.
    std::ofstream(file, std::ios::binary) << stored.substr(0, stored.size() / 2);
    EXPECT_EQ(again.secretFor("https://erp.example/lesungen"), "");
    const auto refused = again.keep("https://erp.example/lesungen", "Bearer neu");
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("lassen sich nicht lesen"), std::string::npos) << *refused;
    EXPECT_EQ(test::fileText(file), stored.substr(0, stored.size() / 2))
        << "the other targets' secrets may still be had from it";
}

} // namespace
} // namespace pelvaro
