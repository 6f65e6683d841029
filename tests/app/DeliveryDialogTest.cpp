// The dialog "Versand": its controls, Cancel changing nothing, OK restarting
// delivery and saving the [Delivery] section only with "Einstellungen
// speichern", the secret kept for the user and never in the settings file,
// the check of a target off the window's thread and its verdict on good and
// bad servers, what list and redirect mode store for delivery, the reads
// waiting shown in the tips of the status bar and the tray, and the refusals
// at start.

#include "delivery/Outbox.h"
#include "delivery/SecretStore.h"
#include "fileio/FileLocations.h"
#include "fileio/ProfileFile.h"
#include "personnel/SqliteLibrary.h"
#include "settings/DeliverySettings.h"
#include "tests/app/ReaderProgramFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HttpsReceiver.h"
#include "tests/support/MosquittoBroker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTest>
#include <QTextDocumentFragment>
#include <csignal>
#include <future>

namespace pelvaro {
namespace {

using test::waitUntil;

// A loopback port nobody listens on: reads wait for it, a check fails.
constexpr char kNowhere[] = "http://127.0.0.1:1/lesungen";
const test::ReaderProgramFixture::Bytes kCardA = {0x12, 0x34, 0x56, 0x78, 0x9A};
const test::ReaderProgramFixture::Bytes kCardB = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E};

bool startsWith(const std::string& text, const std::string& start) {
    return text.starts_with(start);
}

class DeliveryDialogTest : public test::ReaderProgramFixture {
protected:
    void SetUp() override {
        ReaderProgramFixture::SetUp();
        useOwnConfigurationFolder();
    }

    // Adds a target as a person would: its address and its secret typed.
    void addTarget(const QString& url, const QString& secret) {
        deliveryDialog().ButtonAdd->click();
        EXPECT_EQ(deliveryDialog().EditTarget->text(), "https://");
        deliveryDialog().EditTarget->clear();
        QTest::keyClicks(deliveryDialog().EditTarget, url);
        QTest::keyClicks(deliveryDialog().EditSecret, secret);
    }
    QString spareTip() {
        return QTextDocumentFragment::fromHtml(statusPanelTip(StatusPanel::Spare)).toPlainText();
    }
    QString trayTip() { return window().trayIcon().icon().toolTip(); }
    // The events waiting in the outbox for the target, oldest first.
    std::vector<QJsonObject> outboxEvents() {
        auto opened = Outbox::open(BindSqliteLibrary(files).library,
                                   files.databaseDirectory / kOutboxFile, {kNowhere});
        auto* outbox = std::get_if<std::unique_ptr<Outbox>>(&opened);
        if (!outbox) {
            ADD_FAILURE() << std::get<std::string>(opened);
            return {};
        }
        std::vector<QJsonObject> events;
        for (const QueuedEvent& queued : (*outbox)->next(kNowhere, 100))
            events.push_back(
                QJsonDocument::fromJson(QByteArray::fromStdString(queued.json)).object());
        return events;
    }
};

TEST_F(DeliveryDialogTest, CancelChangesNothingAndOkSavesOnlyWithSavingOn) {
    placeSqliteBesideProgram();
    start();
    const std::string before = settingsText();
    withDeliveryDialog([this] {
        Ui::TDeliveryDlg& controls = deliveryDialog();
        EXPECT_EQ(controls.ListTargets->count(), 0);
        EXPECT_FALSE(controls.ButtonRemove->isEnabled());
        EXPECT_FALSE(controls.ButtonCheck->isEnabled());
        EXPECT_FALSE(controls.EditTarget->isEnabled());
        EXPECT_FALSE(controls.EditSecret->isEnabled());
        EXPECT_EQ(controls.LabelDelivered->text(), "Versand aus: kein Ziel eingetragen.");
        EXPECT_EQ(controls.UpDownBatch->value(), 100);
        addTarget(kNowhere, "Bearer geheim");
        EXPECT_EQ(controls.EditSecret->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(controls.ButtonCheck->isEnabled());
        controls.CheckBoxListMode->setChecked(true);
        controls.BitBtn2->click();
    });
    EXPECT_EQ(deliveryService(), nullptr) << "cancel starts nothing";

    withDeliveryDialog([this] {
        Ui::TDeliveryDlg& controls = deliveryDialog();
        EXPECT_EQ(controls.ListTargets->count(), 0) << "cancel kept nothing";
        EXPECT_FALSE(controls.CheckBoxListMode->isChecked());
        addTarget(kNowhere, "Bearer geheim");
        addTarget("mqtt://127.0.0.1:1", "");
        controls.ListTargets->setCurrentRow(1);
        controls.ButtonRemove->click();
        controls.UpDownBatch->setValue(20);
        controls.BitBtn1->click();
    });
    EXPECT_NE(deliveryService(), nullptr) << "OK starts delivery at once";
    EXPECT_EQ(settingsText(), before) << "saving is off";
    ASSERT_TRUE(SecretStore::forUser());
    EXPECT_EQ(SecretStore::forUser()->secretFor(kNowhere), "") << "nor is the secret kept";

    dialog().CheckBoxSave->setChecked(true);
    withDeliveryDialog([this] {
        Ui::TDeliveryDlg& controls = deliveryDialog();
        ASSERT_EQ(controls.ListTargets->count(), 1);
        EXPECT_EQ(controls.ListTargets->item(0)->text(), kNowhere);
        EXPECT_EQ(controls.EditSecret->text(), "Bearer geheim") << "kept for this run";
        EXPECT_EQ(controls.LabelWaiting->text(), "Warten auf Versand: 0");
        controls.BitBtn1->click();
    });
    DeliverySettings saved;
    saved.targets = {kNowhere};
    saved.batch = 20;
    EXPECT_EQ(readDeliverySettings(ini), saved);
    EXPECT_EQ(settingsText().find("geheim"), std::string::npos);
    EXPECT_EQ(SecretStore::forUser()->secretFor(kNowhere), "Bearer geheim");
    EXPECT_TRUE(texts().empty());
}

TEST_F(DeliveryDialogTest, CheckRunsOffTheWindowsThreadAndSaysWhyATargetFails) {
    test::TestCertificates certificates;
    test::HttpsReceiver webhook(&certificates);
    test::HttpsReceiver refusing(&certificates);
    test::ReceiverAnswer unauthorised;
    unauthorised.status = 401;
    refusing.answer({}, unauthorised);
    test::MosquittoBroker broker;
    const QString webhookCa = QString::fromStdString(webhook.caFile().string());
    const QString brokerCa = QString::fromStdString(broker.certificate("ca.pem").string());
    const QString otherCa = QString::fromStdString((certificates / "other-ca.pem").string());
    const QString password = test::MosquittoBroker::kPassword;
    placeSqliteBesideProgram();
    start();
    withDeliveryDialog([&] {
        Ui::TDeliveryDlg& controls = deliveryDialog();
        // The verdict on the target as typed, with the CA file as typed.
        const auto verdict = [&](const std::string& url, const QString& secret,
                                 const QString& caFile) {
            addTarget(QString::fromStdString(url), secret);
            controls.EditCaFile->setText(caFile);
            controls.ButtonCheck->click();
            EXPECT_TRUE(waitUntil([&] { return controls.ButtonCheck->isEnabled(); })) << url;
            return controls.LabelCheck->text().toStdString();
        };
        addTarget(kNowhere, "Bearer geheim");
        controls.ButtonCheck->click();
        EXPECT_FALSE(controls.ButtonCheck->isEnabled()) << "one check at a time";
        EXPECT_EQ(controls.LabelCheck->text(), QStringLiteral("Prüfe %1 …").arg(kNowhere));
        EXPECT_TRUE(waitUntil([&] { return controls.ButtonCheck->isEnabled(); }));
        EXPECT_TRUE(controls.LabelCheck->text().startsWith("Fehlgeschlagen: "))
            << controls.LabelCheck->text().toStdString();
        EXPECT_GT(controls.LabelCheck->text().size(), QString("Fehlgeschlagen: ").size())
            << "with the reason";

        const std::string good = "Verbindung und Anmeldung in Ordnung.";
        EXPECT_EQ(verdict(webhook.url(), "Bearer geheim", webhookCa), good);
        EXPECT_EQ(verdict(broker.tlsUrl("lesungen"), password, brokerCa), good);
        EXPECT_PRED2(startsWith, verdict(refusing.url(), "Bearer falsch", webhookCa),
                     std::string("Fehlgeschlagen: Der Server lehnt die Anmeldung ab "
                                 "(HTTP 401"));
        EXPECT_PRED2(
            startsWith, verdict(broker.tlsUrl("lesungen"), "falsch", brokerCa),
            std::string("Fehlgeschlagen: Der Broker 127.0.0.1:" + std::to_string(broker.tlsPort()) +
                        " lässt diesen Benutzer nicht zu"));
        EXPECT_PRED2(startsWith, verdict(webhook.url(), "Bearer geheim", otherCa),
                     std::string("Fehlgeschlagen: Dem Zertifikat des Servers "
                                 "„127.0.0.1“ wird nicht vertraut"));
        EXPECT_PRED2(startsWith, verdict(broker.tlsUrl("lesungen"), password, otherCa),
                     std::string("Fehlgeschlagen: Die TLS-Verbindung zu 127.0.0.1:"));
        controls.BitBtn2->click();
    });
    EXPECT_EQ(deliveryService(), nullptr) << "a check delivers nothing";
    const std::vector<test::ReceivedRequest> probes = webhook.requests();
    ASSERT_EQ(probes.size(), 1u) << "the untrusted server was told nothing";
    EXPECT_EQ(probes[0].authorization, "Bearer geheim");
    EXPECT_EQ(probes[0].body, "[]") << "no read";
}

TEST_F(DeliveryDialogTest, EveryReadIsStoredAsItWentOutAndTheReadsWaitingAreShown) {
    placeSqliteBesideProgram();
    ASSERT_TRUE(writeProfileString(ini, "Delivery", "Target1", kNowhere));
    ASSERT_TRUE(writeProfileString(ini, "Delivery", "ListMode", "1"));
    ASSERT_TRUE(writeProfileString(ini, "Output", "Template", "{dec}"));
    ASSERT_TRUE(writeProfileString(ini, "Output", "RepeatGuard", "60"));
    start();
    ASSERT_NE(deliveryService(), nullptr);
    EXPECT_EQ(spareTip(), "") << "nothing waits";

    ui().CheckBoxAutoNum->setChecked(true);
    runSession([&] {
        hold(kCardA);
        hold(kCardB);
    });
    EXPECT_TRUE(waitUntil([&] { return spareTip() == "2 Lesungen warten auf Versand"; }))
        << spareTip().toStdString();

    auto recorder = std::make_unique<RecordingInjector>();
    const RecordingInjector& typed = *recorder;
    window().setKeyboard(std::move(recorder), {});
    ui().PageControlMain->setCurrentWidget(ui().TabSheet2);
    ui().CheckBoxShowTray->setChecked(true);
    ui().SpeedButtonStart->click();
    for (int repeat = 0; repeat < 2; ++repeat) { // the second one is held back
        auto sending = std::async(std::launch::async, [&] { return reader.sendCard(kCardA); });
        EXPECT_TRUE(waitUntil([&] {
            return sending.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
        }));
        EXPECT_TRUE(sending.get().acknowledged);
    }
    EXPECT_TRUE(waitUntil([&] { return trayTip().endsWith("\n4 Lesungen warten auf Versand"); }))
        << trayTip().toStdString();
    EXPECT_EQ(spareTip(), "4 Lesungen warten auf Versand");
    ui().SpeedButtonStopp->click();

    withDeliveryDialog([this] {
        EXPECT_EQ(deliveryDialog().LabelWaiting->text(), "Warten auf Versand: 4");
        deliveryDialog().ListTargets->setCurrentRow(0);
        deliveryDialog().ButtonRemove->click();
        deliveryDialog().BitBtn1->click();
    });
    EXPECT_EQ(deliveryService(), nullptr);
    EXPECT_EQ(spareTip(), "") << "delivery off: nothing is said to wait";
    EXPECT_FALSE(trayTip().contains("Versand"));
    EXPECT_TRUE(texts().empty());

    // What the target would get: the outbox, now that delivery let go of it.
    const std::vector<QJsonObject> events = outboxEvents();
    ASSERT_EQ(events.size(), 4u);
    for (const QJsonObject& event : events) {
        EXPECT_EQ(event["reader"], "Com1");
        EXPECT_TRUE(event["personnel"].isNull()) << "no number is stored for the cards";
    }
    EXPECT_EQ(events[0]["mode"], "list");
    EXPECT_EQ(events[0]["code"], "123456789A");
    EXPECT_EQ(events[0]["label"], "0001");
    EXPECT_TRUE(events[0]["output"].isNull() && events[0]["typed"].isNull());
    EXPECT_EQ(events[1]["label"], "0002");
    EXPECT_EQ(events[2]["mode"], "redirect");
    QString typedText;
    for (const KeyEvent& key : typed.events())
        if (key.pressed)
            typedText += QString::fromUcs4(&key.character, 1);
    EXPECT_EQ(typedText, "78187493530") << "typed once: the repeat was held back";
    EXPECT_EQ(events[2]["output"], typedText);
    EXPECT_EQ(events[2]["typed"], true);
    EXPECT_TRUE(events[2]["label"].isNull());
    EXPECT_EQ(events[3]["mode"], "redirect") << "a repeat held back is a read too";
    EXPECT_TRUE(events[3]["output"].isNull());
    EXPECT_EQ(events[3]["typed"], false);
    EXPECT_NE(events[2]["id"], events[3]["id"]);
}

TEST_F(DeliveryDialogTest, WithoutSqliteDeliveryIsRefusedOnceAndCardsAreTypedAllTheSame) {
    ASSERT_TRUE(writeProfileString(ini, "Delivery", "Target1", kNowhere));
    start();
    EXPECT_EQ(deliveryService(), nullptr);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Fehler");
    EXPECT_EQ(dialogs.shown[0].text,
              "Ohne SQLite-Bibliothek kann Pelvaro keine Lesungen versenden.");

    auto recorder = std::make_unique<RecordingInjector>();
    const RecordingInjector& typed = *recorder;
    window().setKeyboard(std::move(recorder), {});
    ui().PageControlMain->setCurrentWidget(ui().TabSheet2);
    ui().SpeedButtonStart->click();
    auto sending = std::async(std::launch::async, [&] { return reader.sendCard(kCardA); });
    EXPECT_TRUE(waitUntil([&] { return !typed.events().empty(); }));
    EXPECT_TRUE(sending.get().acknowledged);
    ui().SpeedButtonStopp->click();
    EXPECT_EQ(dialogs.shown.size(), 1u) << "said once";
    EXPECT_EQ(spareTip(), "");
    withDeliveryDialog([this] {
        EXPECT_EQ(deliveryDialog().LabelDelivered->text(),
                  "Versand aus: Ohne SQLite-Bibliothek kann Pelvaro keine Lesungen versenden.");
        deliveryDialog().BitBtn2->click();
    });
}

TEST_F(DeliveryDialogTest, AnOutboxHeldByAnotherProcessIsSaidOnceAndOkTriesAgain) {
    placeSqliteBesideProgram();
    ASSERT_TRUE(writeProfileString(ini, "Delivery", "Target1", kNowhere));
    test::ChildProcess owner({OUTBOX_OWNER_EXE, (files.databaseDirectory / kOutboxFile).string()});
    ASSERT_EQ(owner.readLine(std::chrono::seconds(15)), "offen");
    start();
    EXPECT_EQ(deliveryService(), nullptr);
    ASSERT_EQ(texts().size(), 1u);
    EXPECT_TRUE(texts()[0].contains("wird schon von einem anderen laufenden Pelvaro"))
        << texts()[0].toStdString();

    owner.signal(SIGKILL);
    owner.waitForExit(std::chrono::seconds(15));
    withDeliveryDialog([this] { deliveryDialog().BitBtn1->click(); });
    EXPECT_NE(deliveryService(), nullptr);
    EXPECT_EQ(texts().size(), 1u);
}

} // namespace
} // namespace pelvaro
