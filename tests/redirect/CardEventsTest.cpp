// Cards as read events, through the delivery service on an outbox of the
// test's own: nothing without delivery, and a read that cannot be stored said
// once per kind of trouble while the cards go on.

#include "redirect/CardEvents.h"

#include "delivery/DeliveryService.h"
#include "tests/delivery/OutboxFixture.h"

namespace pelvaro {
namespace {

// A target that is down: nothing is ever taken.
class DownTarget final : public Sender {
public:
    SendResult send(std::span<const QueuedEvent>) override { return down(); }
    SendResult check() override { return down(); }
    void interrupt() override {}

private:
    static SendResult down() { return {SendResult::Kind::Retry, 0, "nicht erreichbar", {}}; }
};

class CardEventsTest : public test::OutboxFixture {
protected:
    std::unique_ptr<DeliveryService> startService(size_t mostQueued) {
        DeliveryOptions options;
        options.targets.push_back({});
        options.targets.back().url = test::kTargetA;
        options.mostQueued = mostQueued;
        auto started = DeliveryService::start(
            [](const SenderSettings&, size_t) {
                return std::variant<TargetSender, std::string>(
                    TargetSender{std::make_unique<DownTarget>(), 1});
            },
            sqlite, file, std::move(options));
        if (auto* reason = std::get_if<std::string>(&started))
            ADD_FAILURE() << *reason;
        auto* service = std::get_if<std::unique_ptr<DeliveryService>>(&started);
        return service ? std::move(*service) : nullptr;
    }

    // A card read on Com3 and typed whole.
    void typed(const std::string& code) {
        auto card = events.begin("redirect", 3, code, "4711");
        ASSERT_TRUE(card);
        EXPECT_EQ(card->event.reader, "Com3");
        EXPECT_EQ(card->event.personnel, "4711");
        events.store(*card, code);
        card->event.typed = true;
        events.offer(*card);
    }

    std::vector<std::string> said;
    CardEvents events{[this](const std::string& trouble) { said.push_back(trouble); }};
};

TEST_F(CardEventsTest, AFullOutboxIsSaidOncePerKindAndTheCardsGoOn) {
    EXPECT_EQ(events.begin("redirect", 3, "01", ""), std::nullopt) << "delivery is off";
    auto service = startService(2);
    ASSERT_TRUE(service);
    events.setService(service.get());
    for (const char* code : {"01", "02", "03", "04"})
        typed(code);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].starts_with("Versandfehler: Der Postausgang ist voll")) << said[0];
    EXPECT_EQ(service->status().waiting, 2u);

    events.restart(); // redirect mode started again
    typed("05");
    EXPECT_EQ(said.size(), 2u);
    events.setService(nullptr);
    service.reset();
    auto outbox = open();
    EXPECT_EQ(waitingCodes(*outbox, test::kTargetA), (std::vector<std::string>{"01", "02"}));
}

} // namespace
} // namespace pelvaro
