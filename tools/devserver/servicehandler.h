// The development service's request handling, free of sockets: a request (method, path and query as they came over
// the wire, body) goes in, a reply (status, content type, body, and a one-line note for the log) comes out. The
// routes are the paths of the vendor table's addresses under the service root.
#pragma once

#include "servicestore.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace devserver {

struct Request {
    QByteArray method; // "GET", "POST", ...
    QByteArray path;   // percent-encoded, as on the wire
    QByteArray query;  // percent-encoded, without "?"
    QByteArray body;
};

struct Reply {
    int status = 200;
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QString note; // what the log line says about the outcome
};

class ServiceHandler {
public:
    explicit ServiceHandler(ServiceStore &store);

    Reply handle(const Request &request);

    // The path of the customer-list administration request: POST with "?cid=CODE" and the list as the body, in the
    // list reply's own format ("HOST§DESC|HOST§DESC|").
    static QByteArray adminCustomerPath() { return "/admin/customer"; }

private:
    enum class Kind { Upload, Download, Announcement, StartupPortal, PortalButton };
    struct Route {
        Kind kind;
        int vendor; // index into the vendor table; -1 for the default list download
    };

    // keep: store what the request carries (GET); a HEAD is only checked.
    Reply upload(const QString &vendorId, const QHash<QString, QString> &query, const QByteArray &rawQuery, bool keep);
    Reply download(const QHash<QString, QString> &query);
    Reply announcement(const QString &vendorId, const QHash<QString, QString> &query, bool keep);
    Reply startupPortal(const QString &vendorId, const QHash<QString, QString> &query);
    Reply portalButton(const QString &vendorId, bool takesToken, const QHash<QString, QString> &query);
    Reply adminCustomer(const QHash<QString, QString> &query, const QByteArray &body);
    Reply customerPage(const QString &vendorId, const QStringList &codes, const QString &heading);

    ServiceStore &store_;
    QHash<QByteArray, Route> routes_;
    QStringList vendorIds_;
    QList<bool> takesToken_;
};

// Splits a raw query at "&" and "=", percent-decoding names and values as UTF-8; the first occurrence of a name
// wins. False with a reason when a name or value is not valid UTF-8 after decoding.
bool parseQuery(const QByteArray &rawQuery, QHash<QString, QString> *values, QString *error);

// Undoes the upload's offsets: counter = constant of the slot − field. Fields hold decimal whole numbers.
struct DecodedRecord {
    Reading reading; // vendor, received and query left empty
    QString error;   // empty when the record is good
};
DecodedRecord decodeUploadData(const QString &vendorId, const QString &data);

} // namespace devserver
