#include "tests/delivery/OutboxFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SmallFilesystem.h"

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
