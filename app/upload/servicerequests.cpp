#include "servicerequests.h"

#include "scrambler.h"
#include "store/servicetable.h"

#include <QRandomGenerator>

namespace upload {

ServiceRequest::ServiceRequest(QString address) : address_(std::move(address)) {}

ServiceRequest &ServiceRequest::value(const QString &data) {
    parts_.append({data, true});
    return *this;
}

ServiceRequest &ServiceRequest::field(const QString &lead) {
    parts_.append({lead, false});
    return *this;
}

QString ServiceRequest::text() const {
    if (isEmpty()) return {};
    QString out = address_;
    for (const Part &part : parts_) out += part.text;
    return out;
}

QUrl ServiceRequest::url() const {
    if (isEmpty()) return {};
    QByteArray encoded = address_.toUtf8();
    for (const Part &part : parts_) encoded += part.isData ? QUrl::toPercentEncoding(part.text) : part.text.toUtf8();
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

namespace {

// The portal and the announcement lead with the vendor identifier and the scrambled application code.
ServiceRequest identifiedRequest(const QString &address, const QString &vendorId, const QString &appCode) {
    return ServiceRequest(address).value(vendorId + QLatin1Char(';') + EncodeText(appCode));
}

} // namespace

ServiceRequest portalRequest(const QString &vendorId, const QString &appCode, const QString &version,
                             const QString &customerCode) {
    const auto vendor = store::findVendor(vendorId);
    if (!vendor) return {};
    return identifiedRequest(vendor->startupPortal, vendorId, appCode)
        .field(QStringLiteral("&SWV="))
        .value(version)
        .field(QStringLiteral("&CID="))
        .value(customerCode);
}

ServiceRequest uploadRequest(const QString &vendorId, const QString &recordText, const QString &appCode) {
    const auto vendor = store::findVendor(vendorId);
    if (!vendor) return {};
    return ServiceRequest(vendor->upload).value(vendorId + EncodeText(recordText + QLatin1Char(';') + appCode));
}

ServiceRequest downloadRequest(const QString &vendorId, const QString &customerCode) {
    const auto vendor = store::findVendor(vendorId);
    return ServiceRequest(vendor ? vendor->download : store::defaultDownloadAddress()).value(customerCode);
}

ServiceRequest announcementRequest(const QString &vendorId, const QString &appCode, const QString &identity,
                                   const QString &location) {
    const auto vendor = store::findVendor(vendorId);
    if (!vendor) return {};
    return identifiedRequest(vendor->announcement, vendorId, appCode)
        .field(QStringLiteral("&PRNSER="))
        .value(identity)
        .field(QStringLiteral("&PRNUBI="))
        .value(location);
}

DigitSource randomDigits() {
    return [] { return static_cast<int>(QRandomGenerator::global()->bounded(10)); };
}

QString portalToken(qint64 customerNumber, const DigitSource &digits) {
    const auto twelveDigits = [&] {
        QString out;
        for (int i = 0; i < 12; ++i) out += QChar(u'0' + digits());
        return out;
    };
    const QString head = twelveDigits();
    return head + QString::number(store::TokenOffset - customerNumber) + twelveDigits();
}

ServiceRequest portalButtonRequest(const QString &vendorId, qint64 customerNumber, const DigitSource &digits) {
    const auto vendor = store::findVendor(vendorId);
    if (!vendor) return {};
    ServiceRequest request(vendor->portalButton);
    if (vendor->portalTakesToken) request.value(portalToken(customerNumber, digits));
    return request;
}

} // namespace upload
