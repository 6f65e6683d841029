// pelvaro-read delivering every card to a webhook receiver and an MQTT broker
// of the test's own, over TLS on the loopback, while they fail, hang or refuse,
// while the tool is killed, and while its disk is full: nothing read is lost.

#include "tests/e2e/ReadToolFixture.h"
#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/FileText.h"
#include "tests/support/HttpsReceiver.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"
#include "tests/support/Polling.h"
#include "tests/support/SmallFilesystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <set>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kTopic[] = "werk1/lesungen";
// The longest wait after targets come back: the back-off grows with the outage.
constexpr auto kDrainPatience = 90s;
// How soon the tool must end on Ctrl+C or SIGTERM, whatever delivery is doing.
constexpr auto kPromptEnd = 2s;
// Repeats a lost acknowledgement may cause: an HTTP request carries at most
// --batch events (100 here), MQTT keeps at most 100 in flight.
constexpr size_t kMostInFlight = 100;

std::vector<uint8_t> cardBytes(int number) {
    return {0x12, 0x34, 0x00, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
}

std::string cardCode(int number) {
    char code[11];
    std::snprintf(code, sizeof code, "123400%04X", number & 0xFFFF);
    return code;
}

test::ReceiverAnswer acting(test::ReceiverAnswer::Action action) {
    test::ReceiverAnswer answer;
    answer.action = action;
    return answer;
}

test::ReceiverAnswer answering(int status, std::string body = {}) {
    test::ReceiverAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

// One event as a target received it.
struct Received {
    std::string id;
    std::string code;
};

void appendEvents(const QByteArray& json, std::vector<Received>& events) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonArray array = document.isArray() ? document.array() : QJsonArray{document.object()};
    for (const QJsonValue& event : array)
        events.push_back({event["id"].toString().toStdString(),
                          event["code"].toString().toStdString()});
}

std::vector<Received> eventsOf(const std::vector<test::ReceivedRequest>& requests) {
    std::vector<Received> events;
    for (const test::ReceivedRequest& request : requests)
        appendEvents(QByteArray::fromStdString(request.body), events);
    return events;
}

std::vector<Received> eventsOf(const test::ReceivedRequest& request) {
    return eventsOf(std::vector{request});
}

std::vector<Received> eventsOf(const std::vector<std::string>& payloads) {
    std::vector<Received> events;
    for (const std::string& payload : payloads)
        appendEvents(QByteArray::fromStdString(payload), events);
    return events;
}

size_t differentIds(const std::vector<Received>& events) {
    std::set<std::string> ids;
    for (const Received& event : events)
        ids.insert(event.id);
    return ids.size();
}

// What one target received against what was read: each read once, in the
// order read, with an id of its own that grows with the reads; a repeat only
// of an event that came before. Gives the ids in the order read and the
// number of repeats.
std::pair<std::vector<std::string>, size_t>
expectEveryReadInOrder(const std::vector<Received>& received,
                       const std::vector<std::string>& codes, const char* target) {
    std::vector<std::string> ids;
    std::vector<std::string> firstCodes;
    std::set<std::string> seen;
    size_t repeats = 0;
    for (const Received& event : received) {
        if (seen.insert(event.id).second) {
            EXPECT_TRUE(ids.empty() || ids.back() < event.id)
                << target << ": the id " << event.id << " after " << ids.back();
            ids.push_back(event.id);
            firstCodes.push_back(event.code);
        } else {
            ++repeats;
        }
    }
    EXPECT_EQ(firstCodes, codes) << target;
    return {ids, repeats};
}

class ReadToolDeliveryTest : public test::ReadToolFixture {
protected:
    void SetUp() override {
        ReadToolFixture::SetUp();
        test::placeSqliteLibrary(dir.path()); // for the outbox
        // One file for both authorities, as a company's bundle would be.
        std::ofstream(caFile) << test::fileText(certificates / "ca.pem")
                              << test::fileText(broker.certificate("ca.pem"));
        std::ofstream(secretFile) << test::MosquittoBroker::kPassword << "\n";
        std::filesystem::permissions(secretFile, std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write);
    }

    // The tool delivering to both targets, listening; its probes count as reads.
    std::unique_ptr<test::ChildProcess> run() {
        auto tool = start({"--port", "3", "--deliver", receiver.url(), "--deliver",
                           broker.tlsUrl(kTopic), "--secret-file", secretFile.string(),
                           "--ca-file", caFile.string(), "--outbox", outbox.string()});
        codesRead.insert(codesRead.end(), probeCodes.begin(), probeCodes.end());
        probeCodes.clear();
        // Each card costs two durable commits, which a busy disk may draw out.
        reader.setAcknowledgementTimeout(5s);
        return tool;
    }

    // The cards numbered [first, first + count): each acknowledged and printed.
    void readCards(test::ChildProcess& tool, int first, int count) {
        for (int number = first; number < first + count; ++number)
            ASSERT_TRUE(reader.sendCard(cardBytes(number)).acknowledged) << "card " << number;
        for (int number = first; number < first + count; ++number) {
            const auto line = tool.readLine(test::kPatience);
            ASSERT_EQ(line, cardCode(number));
            codesRead.push_back(*line);
        }
    }

    // Ctrl+C or SIGTERM: the tool ends at once with success.
    static void expectPromptEnd(test::ChildProcess& tool, int signal) {
        const auto signalled = Clock::now();
        tool.signal(signal);
        EXPECT_EQ(tool.waitForExit(test::kPatience), 0);
        EXPECT_LT(Clock::now() - signalled, kPromptEnd);
    }

    // Waits until the receiver has seen count different events.
    std::vector<Received> waitForEvents(size_t count,
                                        std::chrono::milliseconds patience = test::kPatience) {
        std::vector<Received> events;
        EXPECT_TRUE(test::waitFor(
            [&] { return differentIds(events = eventsOf(receiver.requests())) >= count; },
            patience));
        return events;
    }

    struct Repeats {
        size_t webhook = 0;
        size_t mqtt = 0;
    };
    // Waits until each target has every read; each has them in the order
    // read, under the same ids.
    Repeats expectEveryReadAtBoth(std::chrono::milliseconds patience) {
        const size_t count = codesRead.size();
        const auto http = waitForEvents(count, patience);
        const auto mqtt = eventsOf(subscriber.payloads(count, patience));
        const auto [httpIds, httpRepeats] = expectEveryReadInOrder(http, codesRead, "webhook");
        const auto [mqttIds, mqttRepeats] = expectEveryReadInOrder(mqtt, codesRead, "MQTT");
        EXPECT_EQ(httpIds, mqttIds) << "each read has one id, the same at every target";
        return {httpRepeats, mqttRepeats};
    }

    test::TestCertificates certificates;
    test::HttpsReceiver receiver{&certificates};
    test::MosquittoBroker broker;
    test::MqttSubscriber subscriber{broker, kTopic};
    std::filesystem::path caFile = dir.path() / "ca.pem";
    std::filesystem::path secretFile = dir.path() / "geheim";
    std::filesystem::path outbox = dir.path() / "Versand.sqlite";
    std::vector<std::string> codesRead; // every card the tool read, in order
};

TEST_F(ReadToolDeliveryTest, BothTargetsDownWhileAThousandCardsAreReadGetEveryOneInOrder) {
    // One request read but its connection cut before the answer: its events
    // must come again.
    std::vector<test::ReceiverAnswer> script(10);
    script.push_back(acting(test::ReceiverAnswer::Action::Cut));
    receiver.answer(script);
    auto tool = run();
    readCards(*tool, 0, 100);
    ASSERT_TRUE(test::waitFor([&] { return receiver.requests().size() > 10; }));
    receiver.answer({}); // after the restart too
    receiver.stop();
    broker.stop();
    readCards(*tool, 100, 900);
    receiver.start();
    broker.start();

    const Repeats repeats = expectEveryReadAtBoth(kDrainPatience);

    const auto requests = receiver.requests();
    ASSERT_GT(requests.size(), 10U);
    const auto cut = eventsOf(requests[10]);
    const auto afterCut = eventsOf(std::vector(requests.begin() + 11, requests.end()));
    for (const Received& event : cut)
        EXPECT_TRUE(std::any_of(afterCut.begin(), afterCut.end(),
                                [&](const Received& later) { return later.id == event.id; }))
            << "the cut request's event " << event.code << " was not sent again";
    // The cut request, and whatever was in flight when the targets went down.
    EXPECT_GE(repeats.webhook, cut.size());
    EXPECT_LE(repeats.webhook, cut.size() + kMostInFlight);
    EXPECT_LE(repeats.mqtt, kMostInFlight);
    RecordProperty("webhook_repeats", static_cast<int>(repeats.webhook));
    RecordProperty("mqtt_repeats", static_cast<int>(repeats.mqtt));

    expectPromptEnd(*tool, SIGTERM);
}

TEST_F(ReadToolDeliveryTest, KilledWithFiveHundredWaitingDeliversThemAllWhenStartedAgain) {
    receiver.stop();
    broker.stop();
    auto tool = run();
    readCards(*tool, 0, 500);

    // One owner: a second tool on the outbox is refused before it opens its
    // reader (which here does not exist).
    test::ChildProcess second({program.string(), "--device", "/nonexistent/tty", "--deliver",
                               receiver.url(), "--outbox", outbox.string()});
    EXPECT_EQ(second.waitForExit(test::kPatience), 1);
    EXPECT_EQ(second.errorOutput(), "Der Postausgang „" + outbox.string() +
                                        "“ wird schon von einem anderen laufenden Pelvaro "
                                        "versandt. Eine Datei kann nur ein Programm zur Zeit "
                                        "versenden.\n");

    tool->signal(SIGKILL);
    ASSERT_EQ(tool->waitForExit(test::kPatience), -SIGKILL);
    receiver.start();
    broker.start();
    tool = run();

    const Repeats repeats = expectEveryReadAtBoth(test::kPatience);
    EXPECT_EQ(repeats.webhook, 0U) << "nothing was sent before the kill";
    EXPECT_EQ(repeats.mqtt, 0U);
    expectPromptEnd(*tool, SIGTERM);
}

TEST_F(ReadToolDeliveryTest, CtrlCEndsAtOnceWhileATargetHangsAndTheNextRunDeliversTheRest) {
    receiver.answer({}, acting(test::ReceiverAnswer::Action::Hang));
    auto tool = run();
    readCards(*tool, 0, 10);
    // The broker restarted between two reads: the reads go on to it, while
    // the receiver still holds the first request.
    broker.stop();
    broker.start();
    readCards(*tool, 10, 10);
    const auto mqtt = eventsOf(subscriber.payloads(codesRead.size(), test::kPatience));
    expectEveryReadInOrder(mqtt, codesRead, "MQTT");
    // Nothing overtakes the event held up (a time-out may have sent it again).
    ASSERT_FALSE(receiver.requests().empty());
    for (const test::ReceivedRequest& request : receiver.requests())
        EXPECT_EQ(eventsOf(request).at(0).code, codesRead.front());

    // A backlog for both, the broker gone too: Ctrl+C ends the tool at once.
    broker.stop();
    readCards(*tool, 20, 5);
    expectPromptEnd(*tool, SIGINT);

    const size_t heldUp = eventsOf(receiver.requests()).size();
    receiver.answer({});
    broker.start();
    tool = run();
    const Repeats repeats = expectEveryReadAtBoth(test::kPatience);
    EXPECT_LE(repeats.webhook, heldUp) << "only what was left hanging";
    EXPECT_LE(repeats.mqtt, kMostInFlight);
    expectPromptEnd(*tool, SIGTERM);
}

TEST_F(ReadToolDeliveryTest, RefusedLoginPausesWithoutLossAndARefusedEventIsSetAsideForGood) {
    auto tool = run();
    // One card at a time, so that each request carries one event; the
    // receiver's answer for it is chosen once it is seen.
    const auto readOne = [&](int number) {
        readCards(*tool, number, 1);
        waitForEvents(codesRead.size());
    };
    waitForEvents(codesRead.size());
    readOne(0);
    receiver.answer({answering(422, "Karte unbekannt")});
    readOne(1);
    const std::string refused = eventsOf(receiver.requests().back()).at(0).id;
    readOne(2);

    receiver.answer({}, answering(401));
    readOne(3);
    const size_t requestsPaused = receiver.requests().size();
    readCards(*tool, 4, 2);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(receiver.requests().size(), requestsPaused)
        << "a target refusing us is not asked again for each read";
    // The other target keeps taking every read.
    expectEveryReadInOrder(eventsOf(subscriber.payloads(codesRead.size(), test::kPatience)),
                           codesRead, "MQTT");

    // The login mended; the next run delivers what waited, the refused one not again.
    receiver.answer({});
    expectPromptEnd(*tool, SIGTERM);
    tool = run();
    const auto http = waitForEvents(codesRead.size());
    const auto mqtt = eventsOf(subscriber.payloads(codesRead.size(), test::kPatience));
    std::vector<Received> taken;
    size_t refusedSent = 0;
    for (const Received& event : http) {
        if (event.id == refused)
            ++refusedSent;
        else
            taken.push_back(event);
    }
    EXPECT_EQ(refusedSent, 1U) << "a refused event is never sent again";
    std::vector<std::string> codesTaken = codesRead;
    std::erase(codesTaken, cardCode(1));
    EXPECT_EQ(expectEveryReadInOrder(taken, codesTaken, "webhook").second, 1U)
        << "again only the event first answered with 401";
    expectEveryReadInOrder(mqtt, codesRead, "MQTT");
    expectPromptEnd(*tool, SIGTERM);
}

TEST_F(ReadToolDeliveryTest, AFullDiskForTheOutboxStillPrintsEveryCardAndSaysWhy) {
    test::SmallFilesystem disk(dir.path() / "small");
    if (!disk.mounted())
        GTEST_SKIP() << "no filesystem of our own to fill (mounting a tmpfs needs root): "
                     << disk.error();
    outbox = dir.path() / "small" / "Versand.sqlite";
    auto tool = run();
    readCards(*tool, 0, 5);
    disk.fill();
    readCards(*tool, 5, 50);
    expectPromptEnd(*tool, SIGTERM);
    const std::string said = tool->errorOutput();
    const std::string refusal = "Die Lesung konnte nicht im Postausgang „" + outbox.string() +
                                "“ gespeichert werden: Der Datenträger ist voll.\n";
    size_t refusals = 0;
    for (size_t at = said.find(refusal); at != std::string::npos; at = said.find(refusal, at + 1))
        ++refusals;
    EXPECT_GT(refusals, 0U) << said;

    // With room again the next run delivers what was stored, and every card
    // read from now on; a card neither delivered nor said to be refused is lost.
    disk.free();
    tool = run();
    readCards(*tool, 55, 3);
    const auto arrived = [](const std::vector<Received>& events) {
        return !events.empty() && events.back().code == cardCode(57);
    };
    std::vector<Received> http;
    ASSERT_TRUE(test::waitFor([&] { return arrived(http = eventsOf(receiver.requests())); }));
    std::vector<Received> mqtt;
    ASSERT_TRUE(test::waitFor([&] { return arrived(mqtt = eventsOf(subscriber.payloads())); }));
    std::set<std::string> delivered;
    for (const Received& event : http)
        delivered.insert(event.code);
    std::vector<std::string> codesDelivered = codesRead;
    std::erase_if(codesDelivered, [&](const std::string& code) { return !delivered.count(code); });
    EXPECT_EQ(codesDelivered.size() + refusals, codesRead.size()) << said;
    expectEveryReadInOrder(http, codesDelivered, "webhook");
    expectEveryReadInOrder(mqtt, codesDelivered, "MQTT");
    expectPromptEnd(*tool, SIGTERM);
}

} // namespace
} // namespace pelvaro
