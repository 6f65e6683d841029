// Secrets are the user's alone on disk, whatever the umask, from the first
// byte written.

#include "delivery/SecretStore.h"
#include "tests/support/FileMode_posix.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pelvaro {
namespace {

using test::modeOf;

TEST(SecretStoreModeTest, UsersStoreIsMadePrivateAndAnExposedOneClosed) {
    test::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    auto store = SecretStore::forUser();
    ASSERT_TRUE(store);
    {
        const test::UmaskWhileAlive umask(0);
        const auto error = store->keep("https://a/", "Bearer abc");
        ASSERT_EQ(error, std::nullopt) << *error;
    }
    const auto folder = dir.path() / "config" / "Pelvaro";
    EXPECT_EQ(modeOf(folder), 0700u);
    ASSERT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
        << "nothing left beside the store";
    const auto file = std::filesystem::directory_iterator(folder)->path();
    EXPECT_EQ(modeOf(file), 0600u);

    ::chmod(file.c_str(), 0644);
    ASSERT_EQ(store->keep("https://b/", "Bearer def"), std::nullopt);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(SecretStore(file).secretFor("https://a/"), "Bearer abc");
}

TEST(SecretStoreModeTest, SecretFileReadableByEveryoneIsRefused) {
    test::TempDir dir;
    const auto file = dir.path() / "secret";
    std::ofstream(file) << "Bearer abc\n";
    std::string error;
    ::chmod(file.c_str(), 0640);
    EXPECT_EQ(readSecretFile(file, error), "Bearer abc") << "a service's group may read it";
    ::chmod(file.c_str(), 0644);
    EXPECT_EQ(readSecretFile(file, error), std::nullopt);
    EXPECT_NE(error.find("chmod o-r"), std::string::npos) << error;
    EXPECT_EQ(error.find("Bearer"), std::string::npos) << "the secret is never told";
}

} // namespace
} // namespace pelvaro
