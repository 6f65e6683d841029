#include "delivery/ReadEvent.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSysInfo>
#include <gtest/gtest.h>

namespace pelvaro {
namespace {

QJsonObject parsed(const std::string& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.object();
}

TEST(ReadEventTest, JsonHasExactlyTheSchemasFieldsInOrderWithTheirTypes) {
    const auto before = QDateTime::currentMSecsSinceEpoch();
    ReadEvent event = newReadEvent("list", "Com3", "123456789A");
    const std::string bare = readEventJson(event);
    event.personnel = "4711";
    event.output = "123456789A";
    event.typed = false;
    event.label = "Lager";
    const std::string full = readEventJson(event);

    const char* const fields[] = {"schema", "id",  "time",      "host",   "reader", "mode",
                                  "code",   "dec", "personnel", "output", "typed",  "label"};
    size_t previous = 0;
    for (const char* field : fields) {
        const size_t at = full.find(std::string("\"").append(field).append("\":"));
        ASSERT_NE(at, std::string::npos) << field;
        EXPECT_GE(at, previous) << field;
        previous = at;
    }
    EXPECT_EQ(bare.rfind("{\"schema\":\"pelvaro.read/1\",", 0), 0U) << bare;

    const QJsonObject nulls = parsed(bare);
    const QJsonObject values = parsed(full);
    EXPECT_EQ(values.size(), 12);
    EXPECT_EQ(nulls.keys(), values.keys());
    for (const char* optional : {"personnel", "output", "typed", "label"})
        EXPECT_TRUE(nulls[optional].isNull()) << optional;
    EXPECT_EQ(values["personnel"].toString(), "4711");
    EXPECT_EQ(values["typed"], QJsonValue(false));
    EXPECT_EQ(values["label"].toString(), "Lager");
    EXPECT_EQ(values["mode"].toString(), "list");
    EXPECT_EQ(values["reader"].toString(), "Com3");
    EXPECT_EQ(values["host"].toString(), QSysInfo::machineHostName());
    // As the list export writes it: the code's bytes as one big-endian number.
    EXPECT_EQ(values["dec"].toString(), "78187493530");

    const QString id = values["id"].toString();
    EXPECT_TRUE(
        QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-7[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
            .match(id)
            .hasMatch())
        << id.toStdString();
    const qint64 idMilliseconds = id.left(13).remove('-').toLongLong(nullptr, 16);
    EXPECT_GE(idMilliseconds, before);
    EXPECT_LE(idMilliseconds, QDateTime::currentMSecsSinceEpoch());

    // The time the id was made, with this computer's offset from UTC.
    const QString time = values["time"].toString();
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)")
                    .match(time)
                    .hasMatch())
        << time.toStdString();
    const QDateTime moment = QDateTime::fromString(time, Qt::ISODateWithMs);
    EXPECT_EQ(moment.toMSecsSinceEpoch(), idMilliseconds);
    EXPECT_EQ(moment.offsetFromUtc(),
              QDateTime::fromMSecsSinceEpoch(idMilliseconds).offsetFromUtc());
}

TEST(ReadEventTest, TextsAreEscapedAndBytesThatAreNoUtf8BecomeReplacementCharacters) {
    ReadEvent event = newReadEvent("read", "/dev/ttyUSB0", "0A");
    event.output = "say \"hi\"\\\n\t\x01\x1f\x7f ä€😀";
    // A personnel number written into the database by another program.
    event.personnel = std::string("47\xff"
                                  "11\xc3",
                                  6);
    event.label = std::string("a\0b", 3);
    const std::string json = readEventJson(event);
    for (const char byte : json)
        EXPECT_GE(static_cast<unsigned char>(byte), 0x20) << json;
    EXPECT_NE(json.find(R"(say \"hi\"\\\u000a\u0009\u0001\u001f)"), std::string::npos) << json;

    const QJsonObject object = parsed(json);
    EXPECT_EQ(object["output"].toString(), QString::fromUtf8("say \"hi\"\\\n\t\x01\x1f\x7f ä€😀"));
    EXPECT_EQ(object["personnel"].toString(), QString::fromUtf8("47\xEF\xBF\xBD"
                                                                "11\xEF\xBF\xBD"));
    EXPECT_EQ(object["label"].toString(), QString("a") + QChar(0) + "b");
    EXPECT_EQ(object["dec"].toString(), "10");
}

TEST(ReadEventTest, TenThousandIdsAreUniqueAndStrictlyIncreasing) {
    std::string previous;
    for (int i = 0; i < 10000; ++i) {
        const std::string id = newReadEvent("read", "Com1", "01").id;
        ASSERT_GT(id, previous) << "after " << i << " ids";
        ASSERT_EQ(id[14], '7');
        previous = id;
    }
}

} // namespace
} // namespace pelvaro
