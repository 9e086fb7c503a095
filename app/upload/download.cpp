#include "download.h"

#include "platform/window.h"
#include "servicerequests.h"
#include "store/globals.h"
#include "store/pips.h"

#include <QEventLoop>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>

namespace upload {

namespace {
std::chrono::milliseconds currentPageTimeLimit{15000};
} // namespace

std::chrono::milliseconds pageTimeLimit() { return currentPageTimeLimit; }
void setPageTimeLimit(std::chrono::milliseconds limit) { currentPageTimeLimit = limit; }

QString pageText(const QString &html) {
    static const QRegularExpression body(QStringLiteral("<body[^>]*>(.*)</body>"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression hidden(QStringLiteral("<(script|style)[^>]*>.*?</\\1>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    const QRegularExpressionMatch inBody = body.match(html);
    QString text = inBody.hasMatch() ? inBody.captured(1) : html;
    text.remove(hidden).remove(tag);
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|quot|apos|nbsp|sect);"));
    QString decoded;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        decoded += QStringView(text).mid(last, match.capturedStart() - last);
        const QString name = match.captured(1);
        if (name.startsWith(QLatin1String("#x"))) decoded += QChar(static_cast<char16_t>(name.mid(2).toUInt(nullptr, 16)));
        else if (name.startsWith(u'#')) decoded += QChar(static_cast<char16_t>(name.mid(1).toUInt()));
        else {
            static const QHash<QString, QChar> named{{QStringLiteral("amp"), u'&'},  {QStringLiteral("lt"), u'<'},
                                                     {QStringLiteral("gt"), u'>'},   {QStringLiteral("quot"), u'"'},
                                                     {QStringLiteral("apos"), u'\''}, {QStringLiteral("nbsp"), u' '},
                                                     {QStringLiteral("sect"), u'§'}};
            decoded += named.value(name);
        }
        last = match.capturedEnd();
    }
    decoded += QStringView(text).mid(last);
    return decoded.trimmed();
}

std::optional<QString> fetchPageText(const QUrl &address, std::chrono::milliseconds timeLimit) {
    if (!address.isValid() || address.isEmpty()) return std::nullopt;
    QNetworkAccessManager network;
    QNetworkRequest request(address);
    request.setTransferTimeout(static_cast<int>(timeLimit.count()));
    QNetworkReply *reply = network.get(request);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    limit.start(timeLimit);
    if (!reply->isFinished()) loop.exec();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) return std::nullopt;
    return pageText(QString::fromUtf8(reply->readAll()));
}

void DownloadPipList() {
    platform::Window &window = platform::window();
    window.promptCustomerCode();
    const store::Globals &values = store::globals();
    const ServiceRequest request = downloadRequest(values.vendorId, values.customerCode);
    const std::optional<QString> text = fetchPageText(request.url(), pageTimeLimit());
    if (!text) {
        window.setStatus(QStringLiteral("Printer list: no answer from the service"));
        return;
    }
    if (store::PipRecords(values.iniFile).storeDownloadedList(*text)) window.refillPipList();
}

} // namespace upload
