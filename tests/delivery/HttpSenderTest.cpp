// The webhook sender against a receiver of the test's own over TLS on the
// loopback: what each answer means, what goes out, and which certificates it
// trusts.

#include "delivery/HttpSender.h"

#include "tests/support/HttpsReceiver.h"
#include "tests/support/Polling.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Kind = SendResult::Kind;
using test::ReceiverAnswer;
using Clock = std::chrono::steady_clock;

const test::TestCertificates& certificates() {
    static const test::TestCertificates made;
    return made;
}

QueuedEvent event(int number) {
    const std::string id = "019b0000-0000-7000-8000-" + std::to_string(100000000000 + number);
    return {number, id,
            R"({"schema":"pelvaro.read/1","id":")" + id + R"(","code":"12345678)" +
                std::to_string(10 + number) + R"("})"};
}

ReceiverAnswer status(int code, std::string body = {},
                      std::vector<std::pair<std::string, std::string>> headers = {}) {
    return {code, std::move(headers), std::move(body)};
}

ReceiverAnswer action(ReceiverAnswer::Action what) {
    ReceiverAnswer answer;
    answer.action = what;
    return answer;
}

class HttpSenderTest : public ::testing::Test {
protected:
    SenderSettings settings(const std::string& caFile = "ca.pem") const {
        SenderSettings target;
        target.url = receiver.url();
        if (!caFile.empty())
            target.caFile = certificates() / caFile;
        target.timeout = 5s;
        return target;
    }
    static SendResult sendOne(Sender& sender, int number) {
        const QueuedEvent one = event(number);
        return sender.send({&one, 1});
    }

    test::HttpsReceiver receiver{&certificates()};
};

TEST_F(HttpSenderTest, EachAnswerIsDeliveredRetriedRejectedOrAFault) {
    const std::string inTwoMinutes = QLocale::c()
                                         .toString(QDateTime::currentDateTimeUtc().addSecs(120),
                                                   "ddd, dd MMM yyyy hh:mm:ss 'GMT'")
                                         .toStdString();
    struct Case {
        ReceiverAnswer answer;
        Kind kind;
        std::optional<std::chrono::seconds> retryAfter = {};
    };
    const std::vector<Case> cases{
        {status(201), Kind::Delivered},
        {status(429, {}, {{"Retry-After", "7"}}), Kind::Retry, 7s},
        {status(429, {}, {{"Retry-After", inTwoMinutes}}), Kind::Retry, 120s},
        {status(503, {}, {{"Retry-After", "99999999999999999999999"}}), Kind::Retry, 24h},
        {status(500), Kind::Retry},
        {status(408), Kind::Retry},
        {status(422, "  Karte\n  unbekannt \n"), Kind::Rejected},
        {status(400), Kind::Rejected},
        {status(413, std::string(5000, 'x')), Kind::Rejected},
        {status(401), Kind::Misconfigured},
        {status(403), Kind::Misconfigured},
        {status(404), Kind::Misconfigured},
        {status(302, {}, {{"Location", "https://127.0.0.1:1/elsewhere"}}), Kind::Misconfigured},
        {status(405), Kind::Misconfigured},
    };
    std::vector<ReceiverAnswer> script;
    for (const auto& each : cases)
        script.push_back(each.answer);
    receiver.answer(script);

    const auto sender = makeHttpSender(settings());
    std::vector<SendResult> results;
    for (size_t index = 0; index < cases.size(); ++index) {
        results.push_back(sendOne(*sender, static_cast<int>(index)));
        SCOPED_TRACE("answer " + std::to_string(cases[index].answer.status));
        EXPECT_EQ(results.back().kind, cases[index].kind) << results.back().reason;
        if (cases[index].retryAfter) {
            ASSERT_TRUE(results.back().retryAfter);
            EXPECT_NEAR(results.back().retryAfter->count(), cases[index].retryAfter->count(), 3);
        }
    }
    EXPECT_FALSE(results[4].retryAfter);
    // The server's reason on one line, or its status line when it gave none.
    EXPECT_EQ(results[6].reason, "Karte unbekannt");
    EXPECT_EQ(results[7].reason, "HTTP 400 Bad Request");
    EXPECT_LE(results[8].reason.size(), 310u);
    EXPECT_NE(results[9].reason.find("Anmeldung"), std::string::npos) << results[9].reason;
    EXPECT_NE(results[11].reason.find("URL"), std::string::npos) << results[11].reason;
    EXPECT_NE(results[12].reason.find("elsewhere"), std::string::npos) << results[12].reason;

    // Every answer, refusals too, left the connection open for the next request.
    const auto requests = receiver.requests();
    ASSERT_EQ(requests.size(), cases.size());
    std::set<int> connections;
    for (const auto& request : requests)
        connections.insert(request.clientPort);
    EXPECT_EQ(connections.size(), 1u);
}

TEST_F(HttpSenderTest, ABatchIsOneArrayUnderItsFirstIdAndCarriesTheSecret) {
    const auto plain = makeHttpSender(settings());
    ASSERT_EQ(sendOne(*plain, 1).kind, Kind::Delivered);

    auto withSecret = settings();
    withSecret.secret = "Bearer geheim-ÄÖÜ";
    const auto sender = makeHttpSender(withSecret);
    const std::vector<QueuedEvent> batch{event(2), event(3), event(4)};
    ASSERT_EQ(sender->send(batch).kind, Kind::Delivered);

    const auto requests = receiver.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/hook");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_EQ(requests[0].body, event(1).json);
    EXPECT_EQ(requests[0].idempotencyKey, event(1).id);
    EXPECT_EQ(requests[0].authorization, "");

    EXPECT_EQ(requests[1].idempotencyKey, event(2).id);
    EXPECT_EQ(requests[1].authorization, "Bearer geheim-ÄÖÜ");
    const QJsonArray events =
        QJsonDocument::fromJson(QByteArray::fromStdString(requests[1].body)).array();
    ASSERT_EQ(events.size(), 3);
    for (int index = 0; index < 3; ++index)
        EXPECT_EQ(events[index].toObject()["id"].toString().toStdString(), batch[index].id);
}

TEST_F(HttpSenderTest, AHangingOrCutConnectionIsRetriedAndTheNextSendGoesThrough) {
    // Qt sends a request once more by itself when a connection closes before
    // its answer: the receiver keeps cutting.
    receiver.answer({action(ReceiverAnswer::Action::Hang)}, action(ReceiverAnswer::Action::Cut));
    auto quick = settings();
    quick.timeout = 1s;
    const auto sender = makeHttpSender(quick);

    const auto start = Clock::now();
    const SendResult hung = sendOne(*sender, 1);
    const auto waited = Clock::now() - start;
    EXPECT_EQ(hung.kind, Kind::Retry);
    EXPECT_NE(hung.reason.find("Keine Antwort"), std::string::npos) << hung.reason;
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 3s);

    const SendResult cut = sendOne(*sender, 2);
    EXPECT_EQ(cut.kind, Kind::Retry);
    EXPECT_NE(cut.reason.find("getrennt"), std::string::npos) << cut.reason;
    receiver.answer({});
    EXPECT_EQ(sendOne(*sender, 3).kind, Kind::Delivered);
    EXPECT_EQ(receiver.requests().back().idempotencyKey, event(3).id);

    // On a thread of its own as in delivery, ended from another long before
    // its time-out.
    receiver.answer({}, action(ReceiverAnswer::Action::Hang));
    auto patient = settings();
    patient.timeout = 60s;
    const auto worker = makeHttpSender(patient);
    SendResult interrupted;
    const auto sent = Clock::now();
    std::thread delivery([&] { interrupted = sendOne(*worker, 4); });
    const size_t before = receiver.requests().size();
    ASSERT_TRUE(test::waitFor([&] { return receiver.requests().size() > before; }));
    worker->interrupt();
    delivery.join();
    EXPECT_EQ(interrupted.kind, Kind::Retry);
    EXPECT_LT(Clock::now() - sent, 10s);
}

TEST_F(HttpSenderTest, OnlyTheServersOwnAuthorityIsTrusted) {
    const auto result = [&](const std::string& caFile) {
        return makeHttpSender(settings(caFile))->send(std::vector<QueuedEvent>{event(1)});
    };
    const SendResult otherAuthority = result("other-ca.pem");
    EXPECT_EQ(otherAuthority.kind, Kind::Misconfigured);
    EXPECT_NE(otherAuthority.reason.find("nicht vertraut"), std::string::npos)
        << otherAuthority.reason;
    // The system's store does not know the test's authority.
    EXPECT_EQ(result("").kind, Kind::Misconfigured);
    const SendResult noFile = result("missing.pem");
    EXPECT_EQ(noFile.kind, Kind::Misconfigured);
    EXPECT_NE(noFile.reason.find("CA-Datei"), std::string::npos) << noFile.reason;
    EXPECT_TRUE(receiver.requests().empty());

    EXPECT_EQ(result("ca.pem").kind, Kind::Delivered);
    EXPECT_EQ(receiver.requests().size(), 1u);
}

TEST_F(HttpSenderTest, CheckSaysWhetherTheTargetTakesUs) {
    auto target = settings();
    target.secret = "Bearer geheim";
    receiver.answer({status(200), status(422, "leer"), status(401), status(404)});
    const auto sender = makeHttpSender(target);
    const SendResult good = sender->check();
    EXPECT_EQ(good.kind, Kind::Delivered);
    EXPECT_NE(good.reason.find("Anmeldung angenommen"), std::string::npos) << good.reason;
    // A server that lets us in but will not take an empty batch is reached all the same.
    EXPECT_EQ(sender->check().kind, Kind::Delivered);
    const SendResult refused = sender->check();
    EXPECT_EQ(refused.kind, Kind::Misconfigured);
    EXPECT_NE(refused.reason.find("Anmeldung ab"), std::string::npos) << refused.reason;
    EXPECT_EQ(sender->check().kind, Kind::Misconfigured);

    // The probe creates no read: an empty array under no key.
    const auto requests = receiver.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].body, "[]");
    EXPECT_EQ(requests[0].idempotencyKey, "");
    EXPECT_EQ(requests[0].authorization, "Bearer geheim");

    const SendResult untrusted = makeHttpSender(settings("other-ca.pem"))->check();
    EXPECT_EQ(untrusted.kind, Kind::Misconfigured);
    EXPECT_NE(untrusted.reason.find("Zertifikat"), std::string::npos) << untrusted.reason;

    auto nobody = settings();
    {
        test::HttpsReceiver gone(&certificates());
        nobody.url = gone.url();
    }
    const SendResult closed = makeHttpSender(nobody)->check();
    EXPECT_EQ(closed.kind, Kind::Retry);
    EXPECT_NE(closed.reason.find("abgelehnt"), std::string::npos) << closed.reason;
}

} // namespace
} // namespace pelvaro
