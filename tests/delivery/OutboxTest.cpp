#include "tests/delivery/OutboxFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>

namespace pelvaro::test {
namespace {

using OutboxTest = OutboxFixture;

QJsonObject parsed(const std::string& json) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

TEST_F(OutboxTest, ReopeningKeepsEverythingAndOffersWhatWasNeverOfferedAsItIs) {
    {
        auto outbox = open();
        read(*outbox, "0A01");
        ReadEvent typing = newReadEvent("redirect", "Com3", "0A02");
        typing.typed = true; // not known before the typing ends, whatever the caller says
        ASSERT_TRUE(std::holds_alternative<int64_t>(outbox->store(typing)));
        // Nothing goes past a read still being typed.
        EXPECT_EQ(waitingCodes(*outbox, kTargetA), std::vector<std::string>{"0A01"});
        EXPECT_EQ(outbox->waiting(), 2U);
    }
    auto outbox = open();
    EXPECT_EQ(outbox->waiting(), 2U);
    const std::vector<QueuedEvent> events = outbox->next(kTargetA, 10);
    ASSERT_EQ(events.size(), 2U);
    EXPECT_LT(events[0].seq, events[1].seq);
    const QJsonObject offered = parsed(events[0].json);
    const QJsonObject crashed = parsed(events[1].json);
    EXPECT_EQ(offered["typed"], QJsonValue(true));
    EXPECT_EQ(offered["output"].toString(), "0A01");
    EXPECT_EQ(crashed["code"].toString(), "0A02");
    EXPECT_TRUE(crashed["typed"].isNull());
    EXPECT_EQ(crashed["id"].toString().toStdString(), events[1].id);
}

TEST_F(OutboxTest, AFullOutboxRefusesNewReadsAndKeepsTheOldest) {
    auto outbox = open({kTargetA}, 3);
    const int64_t first = read(*outbox, "01");
    read(*outbox, "02");
    read(*outbox, "03");
    const auto refused = outbox->store(newReadEvent("redirect", "Com3", "04"));
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_EQ(std::get<std::string>(refused),
              "Der Postausgang ist voll: 3 Lesungen warten auf Versand. Diese Lesung wird nicht "
              "versandt.");
    EXPECT_EQ(waitingCodes(*outbox, kTargetA), (std::vector<std::string>{"01", "02", "03"}));

    const int64_t delivered[] = {first};
    EXPECT_EQ(outbox->delivered(kTargetA, delivered), std::nullopt);
    read(*outbox, "05");
    EXPECT_EQ(waitingCodes(*outbox, kTargetA), (std::vector<std::string>{"02", "03", "05"}));
}

TEST_F(OutboxTest, EachTargetTakesEveryEventOnItsOwnAndAnUnconfiguredOneKeepsItsShare) {
    {
        auto outbox = open({kTargetA, kTargetB});
        const int64_t seqs[] = {read(*outbox, "01"), read(*outbox, "02"), read(*outbox, "03")};
        EXPECT_EQ(outbox->delivered(kTargetA, seqs), std::nullopt);
        EXPECT_EQ(outbox->waiting(kTargetA), 0U);
        EXPECT_EQ(outbox->waiting(kTargetB), 3U);
        EXPECT_EQ(outbox->waiting(), 3U);

        EXPECT_EQ(outbox->setAside(kTargetB, seqs[1], "Feld „dec“ fehlt"), std::nullopt);
        EXPECT_EQ(outbox->setAsideCount(kTargetB), 1U);
        EXPECT_EQ(outbox->setAsideCount(kTargetA), 0U);
        EXPECT_EQ(outbox->lastRejection(kTargetB), "Feld „dec“ fehlt");
        EXPECT_EQ(waitingCodes(*outbox, kTargetB), (std::vector<std::string>{"01", "03"}));
        const int64_t first[] = {seqs[0]};
        EXPECT_EQ(outbox->delivered(kTargetB, first), std::nullopt);
        EXPECT_EQ(outbox->deliveredToday(), 4U);
    }
    {
        // B's reads wait for it, uncounted, while only A is configured.
        auto outbox = open({kTargetA});
        read(*outbox, "04");
        EXPECT_EQ(outbox->waiting(), 1U);
        EXPECT_EQ(outbox->waiting(kTargetB), 0U);
        EXPECT_TRUE(outbox->next(kTargetB, 10).empty());
        EXPECT_EQ(outbox->deliveredToday(), 4U);
    }
    auto outbox = open({kTargetA, kTargetB});
    EXPECT_EQ(waitingCodes(*outbox, kTargetB), std::vector<std::string>{"03"});
    EXPECT_EQ(outbox->setAsideCount(kTargetB), 1U);
    EXPECT_EQ(outbox->waiting(), 2U);
}

TEST_F(OutboxTest, AFileThatIsNoOutboxIsRefusedWithAReasonAndLeftAsItWas) {
    const std::string text(8192, 'x');
    std::ofstream(file, std::ios::binary) << text;
    const auto refused = tryOpen({kTargetA});
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_EQ(std::get<std::string>(refused),
              "Der Postausgang „" + file.string() +
                  "“ kann nicht geöffnet werden: Die Datei ist keine SQLite-Datenbank oder "
                  "beschädigt.");
    std::ifstream kept(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), text);
}

TEST_F(OutboxTest, ASecondOpenInTheSameProcessIsRefusedNamingTheFile) {
    auto owner = open();
    const auto second = tryOpen({kTargetA});
    ASSERT_TRUE(std::holds_alternative<std::string>(second));
    EXPECT_NE(std::get<std::string>(second).find("„" + file.string() +
                                                 "“ wird schon von einem "
                                                 "anderen laufenden Pelvaro versandt"),
              std::string::npos)
        << std::get<std::string>(second);
    owner.reset();
    EXPECT_TRUE(open());
}

} // namespace
} // namespace pelvaro::test
