// What an alert says: printer texts stay values in the mail's headers and the webhook's JSON, headers are encoded
// and folded, and the JSON holds every field.
#include "alerts/message.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace alerts;

namespace {

const QDateTime Created(QDate(2026, 12, 9), QTime(14, 5), Qt::UTC);

ConditionEvent jam(const QString &text = QStringLiteral("Paper jam")) {
    return {{"pr-7", "127.0.0.7", "LaserJet 400", "CNB1234", "second floor"},
            true, "jam", "tray 2", text, 3, QDateTime(QDate(2026, 12, 9), QTime(13, 50), Qt::UTC), {},
            {"Jam in tray 2"}};
}

Content conditions(const QList<ConditionEvent> &events) {
    return {MessageType::Conditions, {"C123", "print-server"}, "desk", events, {}};
}

// The header block unfolded: one line per field.
QStringList headerFields(const QByteArray &mail) {
    QString block = QString::fromLatin1(mail.left(mail.indexOf("\r\n\r\n")));
    return block.replace(QRegularExpression(QStringLiteral("\r\n[ \t]")), QStringLiteral(" "))
        .split(QStringLiteral("\r\n"));
}

QString field(const QByteArray &mail, const QString &name) {
    for (const QString &line : headerFields(mail))
        if (line.startsWith(name + ": ")) return line.mid(name.size() + 2);
    return {};
}

} // namespace

TEST(Message, APrinterTextWithALineEndAddsNoHeaderAndStaysAJsonValue) {
    const QString hostile = QStringLiteral("Jam\r\nBcc: x@y");
    ConditionEvent event = jam(hostile);
    event.printer.model = event.printer.description = event.panel[0] = hostile;
    const QByteArray mail = mailMessage("id-1", Created, "alerts@example.com", {"desk@example.com"},
                                        conditions({event}));
    QStringList names;
    for (const QString &line : headerFields(mail)) names << line.section(u':', 0, 0);
    EXPECT_EQ(names, QStringList({"From", "To", "Subject", "Date", "Message-ID", "MIME-Version", "Content-Type",
                                  "Content-Transfer-Encoding"}));
    const QByteArray body = mail.mid(mail.indexOf("\r\n\r\n") + 4);
    EXPECT_TRUE(body.contains("Printer:  JamBcc: x@y"));
    for (const QByteArray &line : body.chopped(1).split('\n')) {
        EXPECT_TRUE(line.endsWith('\r')) << line.toStdString();
        EXPECT_LE(line.size(), 77) << line.toStdString();
    }
    const QJsonObject json = QJsonDocument::fromJson(webhookBody("id-1", Created, conditions({event}))).object();
    EXPECT_EQ(json["events"][0]["text"].toString(), hostile);
    EXPECT_EQ(json["events"][0]["printer"]["model"].toString(), hostile);
}

TEST(Message, ASubjectOutsideAsciiIsEncodedInShortWordsThatDecodeBack) {
    const Content content = conditions({jam(QStringLiteral("Papierstau in Fach 2 – bitte öffnen, 紙詰まり =?x?="))});
    const QByteArray mail = mailMessage("id-2", Created, "alerts@example.com", {"desk@example.com"}, content);
    for (const QByteArray &line : mail.left(mail.indexOf("\r\n\r\n")).split('\n')) {
        EXPECT_LE(line.size(), 79);
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c > 0; }));
    }
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]*)\\?="));
    QByteArray decoded;
    for (auto it = word.globalMatch(field(mail, "Subject")); it.hasNext();)
        decoded += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    EXPECT_EQ(QString::fromUtf8(decoded), subjectOf(content));
}

TEST(Message, TheWebhookJsonOfARaiseAndAClearHoldsEveryField) {
    ConditionEvent cleared = jam(QStringLiteral("Toner low"));
    cleared.raised = false;
    cleared.severity = 1;
    cleared.cleared = Created;
    cleared.panel.clear();
    cleared.printer.description.clear();
    const QByteArray expected = R"({"id": "id-3", "type": "conditions", "created": "2026-12-09T14:05:00Z",
        "site": {"customer": "C123", "computer": "print-server"}, "channel": "desk", "summary": null,
        "events": [{"event": "raised", "severity": "critical", "kind": "jam", "unit": "tray 2", "text": "Paper jam",
                    "since": "2026-12-09T13:50:00Z", "cleared": null, "panel": ["Jam in tray 2"],
                    "printer": {"host": "pr-7", "address": "127.0.0.7", "model": "LaserJet 400",
                                "identity": "CNB1234", "description": "second floor"}},
                   {"event": "cleared", "severity": "notice", "kind": "jam", "unit": "tray 2", "text": "Toner low",
                    "since": "2026-12-09T13:50:00Z", "cleared": "2026-12-09T14:05:00Z", "panel": [],
                    "printer": {"host": "pr-7", "address": "127.0.0.7", "model": "LaserJet 400",
                                "identity": "CNB1234", "description": ""}}]})";
    const QByteArray body = webhookBody("id-3", Created, conditions({jam(), cleared}));
    EXPECT_FALSE(body.contains('\n'));
    EXPECT_EQ(QJsonDocument::fromJson(body), QJsonDocument::fromJson(expected)) << body.toStdString();
}

TEST(Message, MessageIdTakesTheSendersDomainAndTheDateIsRfc5322) {
    const QString id = newMessageId();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f-]{36}$")).match(id).hasMatch()) << id.toStdString();
    const QStringList to{"desk@example.com"};
    const Content content = conditions({jam()});
    EXPECT_EQ(field(mailMessage(id, Created, "Alerts <alerts@mail.example.com>", to, content), "Message-ID"),
              "<" + id + "@mail.example.com>");
    EXPECT_EQ(field(mailMessage(id, Created, "alerts", to, content), "Message-ID"), "<" + id + "@meterlane.invalid>");
    EXPECT_EQ(field(mailMessage(id, Created, "alerts@x", to, content), "Date"), "Wed, 09 Dec 2026 14:05:00 +0000");
}

TEST(Message, SubjectsNameOneEventOrCountThem) {
    ConditionEvent clear = jam();
    clear.raised = false;
    Content summary{MessageType::Summary, {"C123", "print-server"}, "desk", {}, {}};
    summary.summary.printers = 19;
    summary.summary.notAnswering = {{jam().printer, Created}};
    summary.summary.active = {jam(), jam(), jam()};
    const QList<QPair<Content, QString>> cases = {
        {conditions({jam()}), "Meterlane: Paper jam: LaserJet 400 (second floor)"},
        {conditions({clear}), "Meterlane: Resolved: Paper jam: LaserJet 400 (second floor)"},
        {conditions({jam(), jam(), jam(), clear}), "Meterlane: 3 conditions raised, 1 cleared at C123 (print-server)"},
        {summary, "Meterlane: Daily summary of C123 (print-server): 19 printers, 1 not answering, 3 conditions"},
        {{MessageType::Test, {"C123", "print-server"}, "desk", {}, {}},
         "Meterlane: Test message from C123 (print-server)"},
    };
    for (const auto &[content, subject] : cases) EXPECT_EQ(subjectOf(content), subject);
}
