// The requests the program makes of the service. Each is an address of the vendor table followed by data; the
// data values are percent-encoded when the request goes out, so that any text ("&", "#", blanks, "§") reaches the
// service unchanged: the service decodes each query value with ordinary percent-decoding as UTF-8.
#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace upload {

class ServiceRequest {
public:
    ServiceRequest() = default; // the empty address: the vendor table has no entry for the identifier
    explicit ServiceRequest(QString address);

    // Data, percent-encoded on the way out.
    ServiceRequest &value(const QString &data);
    // A further query field's lead, such as "&SWV=", kept as it stands.
    ServiceRequest &field(const QString &lead);

    bool isEmpty() const { return address_.isEmpty(); }
    // The address as composed, data unescaped: what the log shows.
    QString text() const;
    // What goes on the wire.
    QUrl url() const;

private:
    struct Part {
        QString text;
        bool isData;
    };
    QString address_;
    QList<Part> parts_;
};

// The portal page loaded at start-up.
ServiceRequest portalRequest(const QString &vendorId, const QString &appCode, const QString &version,
                             const QString &customerCode);
// One printer's counter record.
ServiceRequest uploadRequest(const QString &vendorId, const QString &recordText, const QString &appCode);
// The customer's printer list (the default address for an identifier the table does not hold).
ServiceRequest downloadRequest(const QString &vendorId, const QString &customerCode);
// A printer's identity and location, sent from the printer dialog.
ServiceRequest announcementRequest(const QString &vendorId, const QString &appCode, const QString &identity,
                                   const QString &location);

// A source of decimal digits 0 to 9 for the portal token.
using DigitSource = std::function<int()>;
DigitSource randomDigits();

// 12 random digits, the token offset minus the customer number, 12 more random digits.
QString portalToken(qint64 customerNumber, const DigitSource &digits = randomDigits());
// The customer portal opened in the user's browser, with the token for the vendors whose portal takes it.
ServiceRequest portalButtonRequest(const QString &vendorId, qint64 customerNumber,
                                   const DigitSource &digits = randomDigits());

} // namespace upload
