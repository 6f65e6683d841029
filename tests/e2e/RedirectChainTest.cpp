// The whole keyboard redirect as a user meets it: the program starts with
// redirect mode and hides itself, the simulated reader holds card after card,
// and each code arrives as key strokes in the X client that has the focus,
// personnel numbers from the program's database in place of their codes; the
// reader unplugged and plugged in again under another name in between; and
// each card delivered as an event to a webhook and a broker besides.

#include "delivery/SecretStore.h"
#include "settings/PortSettings.h"
#include "tests/e2e/DesktopProgramTest.h"
#include "tests/e2e/DesktopRig.h"
#include "tests/e2e/NotificationArea.h"
#include "tests/keyboard/KeystrokeReceiver.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/support/FileText.h"
#include "tests/support/HttpsReceiver.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::kPatience;
using test::waitFor;

constexpr int kCards = 1000;
// Every so many cards has a personnel number in the database.
constexpr int kPersonnelEvery = 100;

std::string personnelNumber(int card) {
    return "M\u00FCller-\u00C4\u00DF " + std::to_string(card);
}

class RedirectChainTest : public test::DesktopProgramTest {
protected:
    RedirectChainTest() : DesktopProgramTest(640, 480) {}

    // Started with redirect mode, automatic minimising, ENTER after each
    // code and personnel numbers instead of codes, and the more settings.
    // The reader's device is mapped as Com1.
    void startHidden(sim::ReaderSimulator& reader, const std::string& device,
                     const std::string& more = {}) {
        program.addSqliteLibrary();
        program.writeSettings("[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\nSendPSNR=1\n"
                              "[Serial]\nPort=1\nCardLen=10\n[Ports]\nDefaults=0\n" +
                              more);
        ASSERT_TRUE(writePortMapping(program.settingsFile(), 1, device));
        panel = test::startPanel(display, area); // where the window hides itself
        ASSERT_TRUE(panel) << "no notification area";
        const auto window = program.start();
        ASSERT_TRUE(window) << "no main window";
        ASSERT_TRUE(reader.waitForProgram(kPatience)) << "the port was not opened";
        // The program empties the line after opening it: a card is only
        // sure to be read once the reader's status comes back acknowledged.
        ASSERT_TRUE(waitFor([&] { return reader.sendStatus('e', '2').acknowledged; }))
            << "the program does not read the line";
        ASSERT_TRUE(waitFor([&] { return !area.viewable(std::stoul(*window)); }))
            << "the window did not hide";
    }

    // Filled by another program while Pelvaro runs, as the table may be.
    void fillPersonnelTable() {
        for (int card = kPersonnelEvery; card <= kCards; card += kPersonnelEvery)
            storePersonnelNumber(test::numberedCode(card), personnelNumber(card));
    }
    void storePersonnelNumber(const std::string& code, const std::string& number) {
        test::runSqliteTool(
            program.directory() / "db_Personal.sqlite",
            {"INSERT INTO t_card_personal VALUES('" + code + "','" + number + "')"});
    }

    test::NotificationArea area{display.name()};
    std::unique_ptr<test::ChildProcess> panel;
};

TEST_F(RedirectChainTest, EveryCardArrivesOnceAndExactly) {
    sim::ReaderSimulator reader;
    ASSERT_NO_FATAL_FAILURE(startHidden(reader, reader.devicePath()));
    ASSERT_NO_FATAL_FAILURE(fillPersonnelTable());
    test::KeystrokeReceiverProcess receiver(display);
    ASSERT_TRUE(receiver.waitUntilReady(kPatience));

    for (int card = 1; card <= kCards; ++card) {
        const std::string code = test::numberedCode(card);
        ASSERT_TRUE(reader.sendCard(sim::bytesFromHex(code)).acknowledged) << "card " << card;
        const std::string expected =
            (card % kPersonnelEvery == 0 ? personnelNumber(card) : code) + "\n";
        const test::ReceivedLine received = receiver.receiveLine(kPatience);
        ASSERT_EQ(received.text, expected) << "card " << card;
    }
    const test::ReceivedLine extra = receiver.receiveLine(500ms);
    EXPECT_EQ(extra.text, "") << "typed after the last card";
}

TEST_F(RedirectChainTest, TemplateTypesWhatTheReceivingSystemStoresAndHoldsBackRepeats) {
    sim::ReaderSimulator reader;
    ASSERT_NO_FATAL_FAILURE(startHidden(
        reader, reader.devicePath(),
        "[Output]\nTemplate=\"{dec10}{tab}{w26}{tab}\x1b{pnr}\"\nRepeatGuard=1\nLog=1\n"));
    const std::string worked = "123456789A";
    ASSERT_NO_FATAL_FAILURE(storePersonnelNumber(worked, personnelNumber(7)));
    // Control characters, as an import may bring them: not typed as keys.
    ASSERT_NO_FATAL_FAILURE(storePersonnelNumber("000000000F", "A\033B\010C\177D"));
    test::KeystrokeReceiverProcess receiver(display);
    ASSERT_TRUE(receiver.waitUntilReady(kPatience));
    const auto hold = [&](const std::string& code) {
        ASSERT_TRUE(reader.sendCard(sim::bytesFromHex(code)).acknowledged) << code;
    };
    const std::string workedLine = "0878082202\t086,30874\t" + personnelNumber(7) + "\n";

    hold(worked);
    EXPECT_EQ(receiver.receiveLine(kPatience).text, workedLine);
    hold(worked); // still within the guard: acknowledged, not typed
    hold("0000000001");
    EXPECT_EQ(receiver.receiveLine(kPatience).text, "0000000001\t000,00001\t\n");
    std::this_thread::sleep_for(1100ms);
    hold("0000000001"); // the guard has passed
    EXPECT_EQ(receiver.receiveLine(kPatience).text, "0000000001\t000,00001\t\n");
    hold(worked); // another card than the last is always typed
    EXPECT_EQ(receiver.receiveLine(kPatience).text, workedLine);
    hold("000000000F");
    EXPECT_EQ(receiver.receiveLine(kPatience).text, "0000000015\t000,00015\tABCD\n");

    // Every read is in the day's log, the held-back one without output; the
    // line of a card once its typing is over.
    std::vector<std::string> lines;
    const auto readLog = [&] {
        lines.clear();
        for (const auto& entry : std::filesystem::directory_iterator(program.directory())) {
            if (entry.path().extension() != ".csv")
                continue;
            std::istringstream log(test::fileText(entry.path()));
            for (std::string line; std::getline(log, line);)
                lines.push_back(line);
        }
        return lines.size() == 7;
    };
    ASSERT_TRUE(waitFor(readLog)) << lines.size() << ": the column names and six reads";
    EXPECT_EQ(lines[0], "Zeit;Code;Personalnummer;Ausgabe;Ergebnis\r");
    const auto fields = [&](size_t line) { return lines[line].substr(lines[line].find(';')); };
    EXPECT_EQ(fields(1), ";123456789A;" + personnelNumber(7) + ";0878082202{tab}086,30874{tab}" +
                             personnelNumber(7) + ";getippt\r");
    EXPECT_EQ(fields(2), ";123456789A;" + personnelNumber(7) + ";;zurückgehalten\r");
    EXPECT_EQ(fields(3), ";0000000001;;0000000001{tab}000,00001{tab};getippt\r");
}

TEST_F(RedirectChainTest, UnpluggedReaderIsTakenUpAgainWithoutLosingOrDoublingACard) {
    constexpr int kCardsPerPlugging = 20;
    test::PluggableReader plug(program.directory() / "reader");
    ASSERT_NO_FATAL_FAILURE(startHidden(plug.reader(), plug.link().string()));
    test::KeystrokeReceiverProcess receiver(display);
    ASSERT_TRUE(receiver.waitUntilReady(kPatience));

    for (int card = 1; card <= 3 * kCardsPerPlugging; ++card) {
        if (card % kCardsPerPlugging == 0) {
            plug.unplug();
            plug.plugIn();
            ASSERT_TRUE(plug.reader().waitForProgram(kPatience)) << "not taken up at card " << card;
        }
        const std::string code = test::numberedCode(card);
        ASSERT_TRUE(plug.reader().sendCard(sim::bytesFromHex(code)).acknowledged) << card;
        ASSERT_EQ(receiver.receiveLine(kPatience).text, code + "\n") << "card " << card;
    }
    EXPECT_EQ(receiver.receiveLine(500ms).text, "") << "typed after the last card";
}

TEST_F(RedirectChainTest, EachTypedCardReachesTheWebhookAndTheBrokerAsTyped) {
    constexpr int kDeliveredCards = 5;
    constexpr char kAuthorization[] = "Bearer Schlüssel-42";
    test::TestCertificates certificates;
    test::HttpsReceiver webhook(&certificates);
    test::MosquittoBroker broker;
    test::MqttSubscriber subscriber(broker, "kasse/lesungen");
    // One file for the company's authorities: the webhook's and the broker's.
    const auto authorities = program.directory() / "firmen-ca.pem";
    std::ofstream(authorities) << test::fileText(webhook.caFile())
                               << test::fileText(broker.certificate("ca.pem"));
    // The secrets in the user's store, where the program looks for them.
    const auto configuration = program.directory() / "config";
    program.setVariable("XDG_CONFIG_HOME=" + configuration.string());
    SecretStore secrets(configuration / "Pelvaro" / "Pelvaro-Geheimnisse");
    const std::string mqttTarget = broker.tlsUrl("kasse/lesungen");
    ASSERT_EQ(secrets.keep(webhook.url(), kAuthorization), std::nullopt);
    ASSERT_EQ(secrets.keep(mqttTarget, test::MosquittoBroker::kPassword), std::nullopt);

    sim::ReaderSimulator reader;
    ASSERT_NO_FATAL_FAILURE(startHidden(reader, reader.devicePath(),
                                        "[Delivery]\nTarget1=" + webhook.url() +
                                            "\nTarget2=" + mqttTarget +
                                            "\nCaFile=" + authorities.string() + "\n"));
    ASSERT_NO_FATAL_FAILURE(storePersonnelNumber(test::numberedCode(3), personnelNumber(3)));
    test::KeystrokeReceiverProcess typed(display);
    ASSERT_TRUE(typed.waitUntilReady(kPatience));
    std::vector<std::string> lines;
    for (int card = 1; card <= kDeliveredCards; ++card) {
        ASSERT_TRUE(reader.sendCard(sim::bytesFromHex(test::numberedCode(card))).acknowledged);
        lines.push_back(typed.receiveLine(kPatience).text);
    }

    std::vector<QJsonObject> posted;
    ASSERT_TRUE(waitFor([&] {
        posted.clear();
        for (const test::ReceivedRequest& request : webhook.requests()) {
            const std::vector<QJsonObject> events = test::eventsIn(request);
            posted.insert(posted.end(), events.begin(), events.end());
        }
        return posted.size() >= kDeliveredCards;
    })) << posted.size()
        << " events posted";
    for (const test::ReceivedRequest& request : webhook.requests()) {
        EXPECT_EQ(request.authorization, kAuthorization);
        EXPECT_EQ(request.idempotencyKey,
                  test::eventsIn(request).at(0)["id"].toString().toStdString());
    }
    const std::vector<std::string> published = subscriber.payloads(kDeliveredCards);
    ASSERT_EQ(published.size(), size_t{kDeliveredCards}) << "each once, none twice";
    ASSERT_EQ(posted.size(), size_t{kDeliveredCards}) << "each once, none twice";
    for (int card = 1; card <= kDeliveredCards; ++card) {
        const QJsonObject& event = posted[card - 1];
        const std::string code = test::numberedCode(card);
        SCOPED_TRACE("card " + std::to_string(card));
        EXPECT_EQ(event["schema"], "pelvaro.read/1");
        EXPECT_EQ(event["code"].toString().toStdString(), code) << "in the order read";
        EXPECT_EQ(event["output"].toString().toStdString() + "\n", lines[card - 1]);
        EXPECT_EQ(event["typed"], true);
        EXPECT_EQ(event["mode"], "redirect");
        EXPECT_EQ(event["reader"], "Com1");
        if (card == 3)
            EXPECT_EQ(event["personnel"].toString().toStdString(), personnelNumber(3));
        else
            EXPECT_TRUE(event["personnel"].isNull());
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(published[card - 1])).object(),
                  event)
            << "the same event at both";
    }
}

} // namespace
} // namespace pelvaro
