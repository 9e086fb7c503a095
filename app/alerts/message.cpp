// What an alert says: the webhook's JSON object, the e-mail (headers encoded, body quoted-printable) and its subject.
#include "message.h"

#include "reading/conditions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>

namespace alerts {

namespace {

// Texts from printers and from the configuration lose every control character (line ends above all) and the
// Unicode line and paragraph separators: a value stays one line wherever it is written.
QString oneLine(const QString &text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            continue;
        line += c;
    }
    return line;
}

QString severityName(int severity) {
    return reading::conditions::severityName(reading::conditions::Severity(std::clamp(severity, 1, 3)));
}

// ---- The webhook's JSON ----

QJsonValue utcTime(const QDateTime &time) {
    if (!time.isValid()) return QJsonValue::Null;
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

QJsonValue optionalNumber(const std::optional<int> &number) {
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

QJsonObject printerJson(const PrinterNames &printer) {
    return {{"host", printer.host},
            {"address", printer.address},
            {"model", printer.model},
            {"identity", printer.identity},
            {"description", printer.description}};
}

QJsonObject eventJson(const ConditionEvent &event, const QString &eventName) {
    return {{"event", eventName},
            {"severity", severityName(event.severity)},
            {"kind", event.kind},
            {"unit", event.unit},
            {"text", event.text},
            {"since", utcTime(event.since)},
            {"cleared", utcTime(event.cleared)},
            {"panel", QJsonArray::fromStringList(event.panel)},
            {"printer", printerJson(event.printer)}};
}

QJsonObject summaryJson(const Summary &summary) {
    QJsonArray silent, conditions, supplies;
    for (const SilentPrinter &printer : summary.notAnswering)
        silent.append(QJsonObject{{"printer", printerJson(printer.printer)}, {"since", utcTime(printer.since)}});
    for (const ConditionEvent &event : summary.active) conditions.append(eventJson(event, QStringLiteral("active")));
    for (const LowSupply &supply : summary.supplies)
        supplies.append(QJsonObject{{"printer", printerJson(supply.printer)},
                                    {"supply", supply.supply},
                                    {"percent", optionalNumber(supply.percent)},
                                    {"state", supply.state},
                                    {"receptacle", supply.receptacle},
                                    {"daysLeft", optionalNumber(supply.daysLeft)}});
    return {{"from", utcTime(summary.from)},
            {"until", utcTime(summary.until)},
            {"printers", summary.printers},
            {"read", summary.read},
            {"notAnswering", silent},
            {"conditions", conditions},
            {"supplies", supplies},
            {"waitingReadings", summary.waitingReadings}};
}

// ---- Names in plain text ----

QString siteName(const Site &site) {
    if (site.customer.isEmpty()) return site.computer;
    if (site.computer.isEmpty()) return site.customer;
    return QStringLiteral("%1 (%2)").arg(site.customer, site.computer);
}

// "MODEL (DESCRIPTION)", the host standing in for a model not known.
QString printerName(const PrinterNames &printer) {
    const QString model = printer.model.isEmpty() ? printer.host : printer.model;
    if (printer.description.isEmpty() || printer.description == model) return model;
    return QStringLiteral("%1 (%2)").arg(model, printer.description);
}

QString printerAddress(const PrinterNames &printer) {
    if (printer.host.isEmpty() || printer.host == printer.address) return printer.address;
    if (printer.address.isEmpty()) return printer.host;
    return QStringLiteral("%1 (%2)").arg(printer.address, printer.host);
}

// A time as the site reads it: its local time and time zone.
QString localTime(const QDateTime &time) {
    if (!time.isValid()) return QStringLiteral("not known");
    const QDateTime local = time.toLocalTime();
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm ")) + local.timeZoneAbbreviation();
}

QString counted(qsizetype count, const QString &one, const QString &many) {
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

// ---- Bodies ----

QStringList eventLines(const ConditionEvent &event, const QString &eventName) {
    QStringList lines{QStringLiteral("%1 %2: %3").arg(eventName, severityName(event.severity), oneLine(event.text)),
                      "  Printer:  " + oneLine(printerName(event.printer)),
                      "  Address:  " + oneLine(printerAddress(event.printer))};
    if (!event.printer.identity.isEmpty()) lines << "  Identity: " + oneLine(event.printer.identity);
    lines << "  Since:    " + localTime(event.since);
    if (event.cleared.isValid()) lines << "  Cleared:  " + localTime(event.cleared);
    for (qsizetype i = 0; i < event.panel.size(); ++i)
        lines << (i == 0 ? QStringLiteral("  Panel:    ") : QStringLiteral("            ")) + oneLine(event.panel[i]);
    return lines << QString();
}

QStringList conditionsBody(const Content &content) {
    QStringList lines{QStringLiteral("Printer conditions at %1:").arg(siteName(content.site)), QString()};
    for (const ConditionEvent &event : content.events)
        lines << eventLines(event, event.raised ? QStringLiteral("Raised") : QStringLiteral("Cleared"));
    return lines;
}

QString supplyLine(const LowSupply &supply) {
    QString line = QStringLiteral("  %1: %2, %3").arg(oneLine(printerName(supply.printer)), oneLine(supply.supply),
                                                      oneLine(supply.state));
    if (supply.percent)
        line += QStringLiteral(", %1% %2").arg(*supply.percent).arg(supply.receptacle ? "full" : "left");
    if (!supply.daysLeft) return line + QStringLiteral(", days left not yet known");
    return line + QStringLiteral(", about %1 %2").arg(*supply.daysLeft).arg(supply.receptacle ? "days to full"
                                                                                                : "days to empty");
}

QStringList summaryBody(const Content &content) {
    const Summary &summary = content.summary;
    QStringList lines{QStringLiteral("Daily summary of %1").arg(siteName(content.site)),
                      QStringLiteral("From %1 until %2").arg(localTime(summary.from), localTime(summary.until)),
                      QString(),
                      QStringLiteral("Printers: %1 monitored, %2 read within the day")
                          .arg(summary.printers)
                          .arg(summary.read),
                      QStringLiteral("Readings waiting to be sent: %1").arg(summary.waitingReadings),
                      QString(),
                      QStringLiteral("Not answering: %1").arg(summary.notAnswering.size())};
    for (const SilentPrinter &printer : summary.notAnswering)
        lines << QStringLiteral("  %1, %2, since %3")
                     .arg(oneLine(printerName(printer.printer)), oneLine(printerAddress(printer.printer)),
                          localTime(printer.since));
    lines << QString() << QStringLiteral("Active conditions: %1").arg(summary.active.size()) << QString();
    for (const ConditionEvent &event : summary.active) lines << eventLines(event, QStringLiteral("Active"));
    lines << QStringLiteral("Supplies at or below their threshold: %1").arg(summary.supplies.size());
    for (const LowSupply &supply : summary.supplies) lines << supplyLine(supply);
    return lines;
}

QStringList testBody(const Content &content, const QDateTime &created) {
    return {QStringLiteral("This is a test message from the alerts channel %1 of site %2, sent %3.")
                .arg(oneLine(content.channel), siteName(content.site), localTime(created)),
            QStringLiteral("It needs no answer: it arrived, so the channel works.")};
}

// ---- Mail encoding ----

constexpr qsizetype MailLineLimit = 76;

// Quoted-printable (RFC 2045): CR LF line ends, encoded lines of at most 76 characters with soft breaks.
QByteArray quotedPrintable(const QStringList &lines) {
    QByteArray encoded;
    for (const QString &line : lines) {
        const QByteArray bytes = line.toUtf8();
        QByteArray out;
        qsizetype width = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            const bool last = i + 1 == bytes.size();
            const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
            const QByteArray piece =
                literal ? QByteArray(1, char(c)) : "=" + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
            // Room for a soft break's "=" unless this piece ends the line.
            if (width + piece.size() > MailLineLimit - (last ? 0 : 1)) {
                out += "=\r\n";
                width = 0;
            }
            out += piece;
            width += piece.size();
        }
        encoded += out + "\r\n";
    }
    return encoded;
}

// A header value of ours or a printer's: one line; encoded words (RFC 2047, UTF-8, B) where it holds non-ASCII, a
// word too long to fold, or something a reader would take for an encoded word; folded to short lines.
QByteArray headerValue(const QString &value, qsizetype nameWidth) {
    const QString text = oneLine(value);
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    const bool plain = !text.contains(QLatin1String("=?")) &&
                       std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x7f; }) &&
                       std::all_of(words.begin(), words.end(), [](const QString &w) { return w.size() <= 60; });
    QList<QByteArray> pieces;
    if (plain) {
        for (const QString &word : words) pieces << word.toLatin1();
    } else {
        // At most 36 bytes of whole characters to a word: 48 base64 characters, 60 with the markers.
        QByteArray chunk;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            const QByteArray character = text.mid(i, length).toUtf8();
            i += length - 1;
            if (chunk.size() + character.size() > 36) {
                pieces << "=?UTF-8?B?" + chunk.toBase64() + "?=";
                chunk.clear();
            }
            chunk += character;
        }
        if (!chunk.isEmpty() || pieces.isEmpty()) pieces << "=?UTF-8?B?" + chunk.toBase64() + "?=";
    }
    QByteArray folded;
    qsizetype width = nameWidth;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0 && width + 1 + pieces[i].size() > 78) {
            folded += "\r\n";
            width = 0;
        }
        if (i > 0) folded += ' ';
        folded += pieces[i];
        width += pieces[i].size() + (i > 0 ? 1 : 0);
    }
    return folded;
}

// An address of ours: the display name, where there is one, encoded as any value; the address itself kept.
QByteArray mailAddress(const QString &address) {
    static const QRegularExpression named(QStringLiteral("^\\s*(.*?)\\s*<([^<>]*)>\\s*$"));
    const QRegularExpressionMatch match = named.match(oneLine(address));
    if (!match.hasMatch() || match.captured(1).isEmpty()) return oneLine(address).trimmed().toUtf8();
    return headerValue(match.captured(1), 0).replace("\r\n", " ") + " <" + match.captured(2).toUtf8() + ">";
}

// The domain of From's address, or none where it is not a plain host name.
QString senderDomain(const QString &from) {
    static const QRegularExpression domain(QStringLiteral("@([A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*)>?\\s*$"));
    const QRegularExpressionMatch match = domain.match(oneLine(from));
    return match.hasMatch() ? match.captured(1) : QStringLiteral("meterlane.invalid");
}

QByteArray rfc5322Date(const QDateTime &time) {
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")).toLatin1() + " +0000";
}

QByteArray header(const char *name, const QByteArray &value) { return name + QByteArray(": ") + value + "\r\n"; }

} // namespace

QString typeName(MessageType type) {
    switch (type) {
    case MessageType::Conditions: return QStringLiteral("conditions");
    case MessageType::Summary: return QStringLiteral("summary");
    case MessageType::Test: return QStringLiteral("test");
    }
    return {};
}

QString newMessageId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QByteArray webhookBody(const QString &id, const QDateTime &created, const Content &content) {
    QJsonArray events;
    for (const ConditionEvent &event : content.events)
        events.append(eventJson(event, event.raised ? QStringLiteral("raised") : QStringLiteral("cleared")));
    const QJsonObject body{
        {"id", id},
        {"type", typeName(content.type)},
        {"created", utcTime(created)},
        {"site", QJsonObject{{"customer", content.site.customer}, {"computer", content.site.computer}}},
        {"channel", content.channel},
        {"events", events},
        {"summary", content.type == MessageType::Summary ? QJsonValue(summaryJson(content.summary))
                                                         : QJsonValue(QJsonValue::Null)}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QString subjectOf(const Content &content) {
    const QString site = siteName(content.site);
    switch (content.type) {
    case MessageType::Test: return QStringLiteral("Meterlane: Test message from %1").arg(site);
    case MessageType::Summary:
        return QStringLiteral("Meterlane: Daily summary of %1: %2, %3 not answering, %4")
            .arg(site, counted(content.summary.printers, "printer", "printers"),
                 QString::number(content.summary.notAnswering.size()),
                 counted(content.summary.active.size(), "condition", "conditions"));
    case MessageType::Conditions: break;
    }
    if (content.events.size() == 1) {
        const ConditionEvent &event = content.events.front();
        return QStringLiteral("Meterlane: %1%2: %3")
            .arg(event.raised ? QString() : QStringLiteral("Resolved: "), event.text, printerName(event.printer));
    }
    const auto raised = std::count_if(content.events.begin(), content.events.end(),
                                      [](const ConditionEvent &event) { return event.raised; });
    const auto cleared = content.events.size() - raised;
    QStringList counts;
    if (raised > 0) counts << counted(raised, "condition raised", "conditions raised");
    if (cleared > 0) counts << (raised > 0 ? QStringLiteral("%1 cleared").arg(cleared)
                                           : counted(cleared, "condition cleared", "conditions cleared"));
    if (counts.isEmpty()) counts << QStringLiteral("no conditions");
    return QStringLiteral("Meterlane: %1 at %2").arg(counts.join(QStringLiteral(", ")), site);
}

QByteArray mailMessage(const QString &id, const QDateTime &created, const QString &from, const QStringList &to,
                       const Content &content) {
    QList<QByteArray> recipients;
    for (const QString &address : to) recipients << mailAddress(address);
    QStringList body;
    switch (content.type) {
    case MessageType::Conditions: body = conditionsBody(content); break;
    case MessageType::Summary: body = summaryBody(content); break;
    case MessageType::Test: body = testBody(content, created); break;
    }
    return header("From", mailAddress(from)) + header("To", recipients.join(",\r\n ")) +
           header("Subject", headerValue(subjectOf(content), 9)) + header("Date", rfc5322Date(created)) +
           header("Message-ID", "<" + oneLine(id).toLatin1() + "@" + senderDomain(from).toLatin1() + ">") +
           header("MIME-Version", "1.0") + header("Content-Type", "text/plain; charset=UTF-8") +
           header("Content-Transfer-Encoding", "quoted-printable") + "\r\n" + quotedPrintable(body);
}

} // namespace alerts
