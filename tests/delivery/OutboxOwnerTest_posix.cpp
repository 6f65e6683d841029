#include "tests/delivery/OutboxFixture.h"
#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/mount.h>

namespace pelvaro::test {
namespace {

using OutboxOwnerTest = OutboxFixture;

std::string ownerSays(const std::filesystem::path& file) {
    ChildProcess owner({OUTBOX_OWNER_EXE, file.string()});
    return owner.readLine(std::chrono::seconds(15)).value_or("(nothing)");
}

TEST_F(OutboxOwnerTest, ASecondProcessIsRefusedAtOnceWithTheFileNamed) {
    {
        auto outbox = open();
        read(*outbox, "01");
        EXPECT_EQ(ownerSays(file), "Der Postausgang „" + file.string() +
                                       "“ wird schon von einem anderen laufenden Pelvaro "
                                       "versandt. Eine Datei kann nur ein Programm zur Zeit "
                                       "versenden.");
        EXPECT_EQ(outbox->waiting(), 1U);
    }
    // The other way round, and the lock goes with the process.
    {
        ChildProcess owner({OUTBOX_OWNER_EXE, file.string()});
        ASSERT_EQ(owner.readLine(std::chrono::seconds(15)), "offen");
        EXPECT_TRUE(std::holds_alternative<std::string>(tryOpen({kTargetA})));
        owner.signal(SIGKILL);
        owner.waitForExit(std::chrono::seconds(15));
    }
    auto outbox = open();
    EXPECT_EQ(waitingCodes(*outbox, kTargetA), std::vector<std::string>{"01"});
}

// A small filesystem of the test's own, filled up around the outbox.
class SmallFilesystem {
public:
    explicit SmallFilesystem(const std::filesystem::path& where) : where_(where) {
        std::filesystem::create_directory(where);
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, "size=1m") == 0;
        if (!mounted_)
            error_ = std::strerror(errno);
    }
    ~SmallFilesystem() {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

    // Takes what space is left.
    void fill() {
        std::ofstream padding(where_ / "padding", std::ios::binary);
        const std::string block(4096, 'x');
        while (padding.write(block.data(), block.size()))
            padding.flush();
    }
    void free() { std::filesystem::remove(where_ / "padding"); }

private:
    std::filesystem::path where_;
    bool mounted_ = false;
    std::string error_;
};

TEST_F(OutboxOwnerTest, AFullDiskRefusesTheReadWithAReasonAndKeepsWhatWasStored) {
    SmallFilesystem disk(dir.path() / "small");
    if (!disk.mounted())
        GTEST_SKIP() << "no filesystem of our own to fill (mounting a tmpfs needs root): "
                     << disk.error();
    file = dir.path() / "small" / kOutboxFile;
    auto outbox = open({kTargetA, kTargetB});
    const int64_t first = read(*outbox, "01");
    disk.fill();

    // What the log had room for still goes in; then the disk says no.
    std::string refusal;
    size_t stored = 1;
    for (int i = 0; i < 100000 && refusal.empty(); ++i) {
        const auto result = outbox->store(newReadEvent("redirect", "Com3", "02"));
        if (auto* reason = std::get_if<std::string>(&result))
            refusal = *reason;
        else
            ++stored;
    }
    EXPECT_EQ(refusal, "Die Lesung konnte nicht im Postausgang „" + file.string() +
                           "“ gespeichert werden: Der Datenträger ist voll.");
    const int64_t seqs[] = {first};
    const auto noted = outbox->delivered(kTargetA, seqs);
    if (noted) {
        EXPECT_NE(noted->find("Der Datenträger ist voll."), std::string::npos) << *noted;
    }

    disk.free();
    read(*outbox, "03");
    outbox.reset();
    outbox = open({kTargetA, kTargetB});
    EXPECT_EQ(outbox->waiting(kTargetB), stored + 1);
    EXPECT_EQ(outbox->waiting(kTargetA), stored + (noted ? 1 : 0));
}

} // namespace
} // namespace pelvaro::test
