#include "servicehandler.h"

#include "upload/scrambler.h"
#include "store/servicetable.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

namespace devserver {
namespace {

const QString AppCode = QStringLiteral("004");
constexpr int RecordFields = 33;

QByteArray addressPath(const QString &address) {
    // The address ends with the lead of its query ("...?d="); what comes before "?" is the route.
    return QUrl(address).path(QUrl::FullyEncoded).toUtf8();
}

Reply text(int status, const QString &body, const QString &note = {}) {
    Reply reply;
    reply.status = status;
    reply.body = body.toUtf8() + '\n';
    reply.note = note.isEmpty() ? body : note;
    return reply;
}

Reply refuse(const QString &reason) { return text(400, reason); }

QString now() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

bool decodeUtf8(const QByteArray &bytes, QString *out) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *out = decoder.decode(bytes);
    return !decoder.hasError();
}

// A decimal whole number, optionally negative, of at most 18 digits (so that constant − number cannot overflow).
bool parseOffsetField(const QString &field, qint64 *value) {
    static const QRegularExpression pattern(QStringLiteral("^-?[0-9]{1,18}$"));
    if (!pattern.match(field).hasMatch()) return false;
    bool ok = false;
    *value = field.toLongLong(&ok);
    return ok;
}

// Offset slot (2 to 26) of record field f (1-based), or 0 when the field is not offset.
int slotOfField(int f) {
    if (f >= 4 && f <= 10) return f - 2;  // fields 4..10 → slots 2..8
    if (f >= 15 && f <= 32) return f - 6; // fields 15..32 → slots 9..26
    return 0;
}

QString html(const QString &s) { return s.toHtmlEscaped(); }

// The host part of a list entry: the address value before its first ":".
QString hostOf(const QString &listed) { return listed.section(QLatin1Char(':'), 0, 0); }

// Checks "VENDOR;ENC" against the route's vendor and the application code.
QString checkIdentified(const QString &vendorId, const QHash<QString, QString> &query) {
    if (!query.contains(QStringLiteral("d"))) return QStringLiteral("missing d");
    const QString d = query.value(QStringLiteral("d"));
    const qsizetype semicolon = d.indexOf(QLatin1Char(';'));
    if (semicolon < 0) return QStringLiteral("d is not VENDOR;CODE");
    if (d.left(semicolon) != vendorId)
        return QStringLiteral("vendor id \"%1\" does not belong to this address (expected %2)")
            .arg(d.left(semicolon).left(64), vendorId);
    if (upload::DecodeText(d.mid(semicolon + 1)) != AppCode) return QStringLiteral("wrong app code");
    return {};
}

} // namespace

bool parseQuery(const QByteArray &rawQuery, QHash<QString, QString> *values, QString *error) {
    values->clear();
    if (rawQuery.isEmpty()) return true;
    for (const QByteArray &pair : rawQuery.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray name = QByteArray::fromPercentEncoding(equals < 0 ? pair : pair.left(equals));
        const QByteArray value = equals < 0 ? QByteArray() : QByteArray::fromPercentEncoding(pair.mid(equals + 1));
        QString decodedName, decodedValue;
        if (!decodeUtf8(name, &decodedName) || !decodeUtf8(value, &decodedValue)) {
            *error = QStringLiteral("query value is not valid UTF-8");
            return false;
        }
        if (!values->contains(decodedName)) values->insert(decodedName, decodedValue);
    }
    return true;
}

DecodedRecord decodeUploadData(const QString &vendorId, const QString &data) {
    DecodedRecord out;
    if (!data.startsWith(vendorId)) {
        out.error = QStringLiteral("d does not start with the vendor id %1").arg(vendorId);
        return out;
    }
    // Fields 4 to 33 and the application code are free of ";": taken from the end, they leave the address and,
    // between it and them, model and identity, which may hold ";" of their own.
    QStringList pieces = upload::DecodeText(data.mid(vendorId.size())).split(QLatin1Char(';'));
    if (pieces.size() < RecordFields + 1) {
        out.error = QStringLiteral("record has %1 fields, expected %2 and the app code")
                        .arg(pieces.size() - 1)
                        .arg(RecordFields);
        return out;
    }
    if (pieces.last() != AppCode) {
        out.error = QStringLiteral("wrong app code");
        return out;
    }
    const qsizetype extra = pieces.size() - (RecordFields + 1);
    Reading &r = out.reading;
    r.ambiguousSplit = extra > 0;
    if (r.ambiguousSplit) {
        pieces[2] = pieces.mid(2, extra + 1).join(QLatin1Char(';'));
        pieces.remove(3, extra);
    }
    r.address = pieces[0];
    r.model = pieces[1];
    r.identity = pieces[2];
    for (int f = 1; f <= RecordFields; ++f) {
        const int slot = slotOfField(f);
        if (slot == 0) continue;
        qint64 field = 0;
        if (!parseOffsetField(pieces[f - 1], &field)) {
            out.error = QStringLiteral("field %1 is not a whole number").arg(f);
            return out;
        }
        r.counters[slot - store::FirstOffsetSlot] = qint64(store::UploadOffsetKey[slot - store::FirstOffsetSlot]) - field;
    }
    for (int i = 0; i < 4; ++i) r.toner[i] = pieces[10 + i];
    r.vendorField = pieces[32];
    return out;
}

ServiceHandler::ServiceHandler(ServiceStore &store) : store_(store) {
    const QList<store::VendorAddresses> table = store::vendorTable();
    for (int i = 0; i < table.size(); ++i) {
        const store::VendorAddresses &entry = table[i];
        vendorIds_ << entry.vendorId;
        takesToken_ << entry.portalTakesToken;
        // The first entry claiming a path keeps it, as the program's table order decides.
        routes_.insert(addressPath(entry.upload), {Kind::Upload, i});
        routes_.insert(addressPath(entry.download), {Kind::Download, i});
        routes_.insert(addressPath(entry.announcement), {Kind::Announcement, i});
        routes_.insert(addressPath(entry.startupPortal), {Kind::StartupPortal, i});
        routes_.insert(addressPath(entry.portalButton), {Kind::PortalButton, i});
    }
    routes_.insert(addressPath(store::defaultDownloadAddress()), {Kind::Download, -1});
}

Reply ServiceHandler::handle(const Request &request) {
    if (request.path == adminCustomerPath()) {
        if (request.method != "POST") return text(405, QStringLiteral("use POST"));
        QHash<QString, QString> query;
        QString error;
        if (!parseQuery(request.query, &query, &error)) return refuse(error);
        return adminCustomer(query, request.body);
    }
    const auto route = routes_.constFind(request.path);
    if (route == routes_.constEnd()) return text(404, QStringLiteral("not found"));
    if (request.method != "GET" && request.method != "HEAD") return text(405, QStringLiteral("use GET"));
    QHash<QString, QString> query;
    QString error;
    if (!parseQuery(request.query, &query, &error)) return refuse(error);
    const QString vendorId = route->vendor >= 0 ? vendorIds_[route->vendor] : QString();
    const bool keep = request.method == "GET"; // a HEAD is checked and answered, and changes nothing
    switch (route->kind) {
    case Kind::Upload: return upload(vendorId, query, request.query, keep);
    case Kind::Download: return download(query);
    case Kind::Announcement: return announcement(vendorId, query, keep);
    case Kind::StartupPortal: return startupPortal(vendorId, query);
    case Kind::PortalButton: return portalButton(vendorId, takesToken_[route->vendor], query);
    }
    return text(404, QStringLiteral("not found"));
}

Reply ServiceHandler::upload(const QString &vendorId, const QHash<QString, QString> &query,
                             const QByteArray &rawQuery, bool keep) {
    if (!query.contains(QStringLiteral("d"))) return refuse(QStringLiteral("missing d"));
    DecodedRecord decoded = decodeUploadData(vendorId, query.value(QStringLiteral("d")));
    if (!decoded.error.isEmpty()) return refuse(decoded.error);
    if (!keep) return text(200, QStringLiteral("OK reading valid, not stored"));
    Reading &reading = decoded.reading;
    reading.vendor = vendorId;
    reading.received = now();
    reading.query = QString::fromLatin1(rawQuery);
    QString error;
    if (!store_.addReading(reading, &error)) return text(500, QStringLiteral("not stored: ") + error);
    return text(200, QStringLiteral("OK reading stored"),
                QStringLiteral("reading %1 %2 bw=%3 colour=%4")
                    .arg(vendorId, reading.address.left(64))
                    .arg(reading.counters[0])
                    .arg(reading.counters[1]));
}

Reply ServiceHandler::download(const QHash<QString, QString> &query) {
    const QString code = query.value(QStringLiteral("cid"));
    QString body;
    const QList<ListedPrinter> printers = code.isEmpty() ? QList<ListedPrinter>() : store_.customerPrinters(code);
    for (const ListedPrinter &p : printers) body += p.host + QChar(0x00A7) + p.description + QLatin1Char('|');
    Reply reply;
    reply.body = body.toUtf8();
    reply.note = QStringLiteral("list of \"%1\": %2 printers").arg(code.left(64)).arg(printers.size());
    return reply;
}

Reply ServiceHandler::announcement(const QString &vendorId, const QHash<QString, QString> &query, bool keep) {
    const QString problem = checkIdentified(vendorId, query);
    if (!problem.isEmpty()) return refuse(problem);
    if (!query.contains(QStringLiteral("PRNSER"))) return refuse(QStringLiteral("missing PRNSER"));
    if (!query.contains(QStringLiteral("PRNUBI"))) return refuse(QStringLiteral("missing PRNUBI"));
    if (!keep) return text(200, QStringLiteral("OK announcement valid, not stored"));
    const Announcement a{vendorId, query.value(QStringLiteral("PRNSER")), query.value(QStringLiteral("PRNUBI")), now()};
    QString error;
    if (!store_.addAnnouncement(a, &error)) return text(500, QStringLiteral("not stored: ") + error);
    return text(200, QStringLiteral("OK announcement stored"),
                QStringLiteral("announcement %1 %2").arg(vendorId, a.identity.left(64)));
}

Reply ServiceHandler::startupPortal(const QString &vendorId, const QHash<QString, QString> &query) {
    const QString problem = checkIdentified(vendorId, query);
    if (!problem.isEmpty()) return refuse(problem);
    const QString code = query.value(QStringLiteral("CID"));
    const QString version = query.value(QStringLiteral("SWV"));
    QStringList codes;
    if (!code.isEmpty()) codes << code;
    return customerPage(vendorId, codes,
                        QStringLiteral("Welcome (program version %1)").arg(version.isEmpty() ? QStringLiteral("?")
                                                                                             : version));
}

Reply ServiceHandler::portalButton(const QString &vendorId, bool takesToken, const QHash<QString, QString> &query) {
    if (!takesToken) {
        // The token-less portals show every printer last heard of under their vendor identifier.
        QString rows;
        const QList<Reading> readings = store_.latestReadings(vendorId);
        for (const Reading &r : readings)
            rows += QStringLiteral("<tr><td>%1</td><td></td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                                   "<td>%6</td><td>%7</td></tr>\n")
                        .arg(html(r.address), html(r.model), html(r.identity))
                        .arg(r.counters[0])
                        .arg(r.counters[1])
                        .arg(html(QStringList(r.toner.begin(), r.toner.end()).join(QStringLiteral(" / "))),
                             html(r.received));
        Reply reply;
        reply.contentType = "text/html; charset=utf-8";
        reply.body = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Yonderlook %1</title>"
                                    "</head><body>\n<h1>Yonderlook portal %1</h1>\n<p>All printers of %1</p>\n"
                                    "<table border=\"1\">\n<tr><th>Printer</th><th>Description</th><th>Model</th>"
                                    "<th>Identity</th><th>Black and white</th><th>Colour</th><th>Toner</th>"
                                    "<th>Last reading</th></tr>\n%2</table>\n</body></html>\n")
                         .arg(html(vendorId), rows)
                         .toUtf8();
        reply.note = QStringLiteral("portal %1: %2 printers").arg(vendorId).arg(readings.size());
        return reply;
    }
    const QString token = query.value(QStringLiteral("t"));
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{12}(-?[0-9]{1,18})[0-9]{12}$"));
    const QRegularExpressionMatch match = pattern.match(token);
    if (!match.hasMatch()) return refuse(QStringLiteral("bad token"));
    // The greedy middle group cannot be told apart from the random digits by the pattern alone: take the
    // middle as whatever lies between the first and the last twelve digits.
    bool ok = false;
    const qint64 middle = token.mid(12, token.size() - 24).toLongLong(&ok);
    if (!ok) return refuse(QStringLiteral("bad token"));
    const qint64 customer = store::TokenOffset - middle;
    return customerPage(vendorId, store_.customersByNumber(customer),
                        QStringLiteral("Customer number %1").arg(customer));
}

Reply ServiceHandler::customerPage(const QString &vendorId, const QStringList &codes, const QString &heading) {
    QString sections;
    int count = 0;
    for (const QString &code : codes) {
        QString rows;
        for (const ListedPrinter &p : store_.customerPrinters(code)) {
            ++count;
            const std::optional<Reading> r = store_.latestReading(vendorId, hostOf(p.host));
            if (r)
                rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td class=\"bw\">%5</td>"
                                       "<td class=\"colour\">%6</td><td>%7</td><td>%8</td></tr>\n")
                            .arg(html(p.host), html(p.description), html(r->model), html(r->identity))
                            .arg(r->counters[0])
                            .arg(r->counters[1])
                            .arg(html(QStringList(r->toner.begin(), r->toner.end()).join(QStringLiteral(" / "))),
                                 html(r->received));
            else
                rows += QStringLiteral("<tr><td>%1</td><td>%2</td><td colspan=\"6\">no reading yet</td></tr>\n")
                            .arg(html(p.host), html(p.description));
        }
        sections += QStringLiteral("<h2>Customer %1</h2>\n<table border=\"1\">\n<tr><th>Printer</th>"
                                   "<th>Description</th><th>Model</th><th>Identity</th><th>Black and white</th>"
                                   "<th>Colour</th><th>Toner</th><th>Last reading</th></tr>\n%2</table>\n")
                        .arg(html(code), rows);
    }
    if (codes.isEmpty()) sections = QStringLiteral("<p>No customer known.</p>\n");
    Reply reply;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Yonderlook %1</title>"
                                "</head><body>\n<h1>Yonderlook portal %1</h1>\n<p>%2</p>\n%3</body></html>\n")
                     .arg(html(vendorId), html(heading), sections)
                     .toUtf8();
    reply.note = QStringLiteral("portal %1: %2 customers, %3 printers").arg(vendorId).arg(codes.size()).arg(count);
    return reply;
}

Reply ServiceHandler::adminCustomer(const QHash<QString, QString> &query, const QByteArray &body) {
    const QString code = query.value(QStringLiteral("cid"));
    if (code.isEmpty()) return refuse(QStringLiteral("missing cid"));
    QString list;
    if (!decodeUtf8(body, &list)) return refuse(QStringLiteral("list is not valid UTF-8"));
    const QList<ListedPrinter> printers = parsePrinterList(list);
    QString error;
    if (!store_.setCustomer(code, printers, &error)) return text(500, QStringLiteral("not stored: ") + error);
    return text(200, QStringLiteral("customer %1: %2 printers").arg(code).arg(printers.size()));
}

} // namespace devserver
