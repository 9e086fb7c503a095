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
#include <QStringDecoder>
#include <QTimer>

namespace upload {

namespace {

std::chrono::milliseconds currentPageTimeLimit{15000};

// The media type and the charset parameter of a Content-Type value ("text/html; charset=windows-1252").
struct ContentType {
    QByteArray mediaType;
    QByteArray charset;
};

ContentType parseContentType(const QByteArray &value) {
    const QList<QByteArray> parts = value.split(';');
    ContentType type{parts.first().trimmed().toLower(), {}};
    for (qsizetype i = 1; i < parts.size() && type.charset.isEmpty(); ++i) {
        const qsizetype equals = parts[i].indexOf('=');
        if (equals < 0 || parts[i].left(equals).trimmed().toLower() != "charset") continue;
        QByteArray charset = parts[i].mid(equals + 1).trimmed();
        if (charset.size() >= 2 && charset.startsWith('"') && charset.endsWith('"'))
            charset = charset.mid(1, charset.size() - 2);
        type.charset = charset;
    }
    return type;
}

// A page without a type is taken as HTML, as the page of a browser control always was.
bool isHtml(const ContentType &type) {
    return type.mediaType.isEmpty() || type.mediaType == "text/html" || type.mediaType == "application/xhtml+xml";
}

// Browsers read the Latin-1 and ASCII labels as Windows-1252, whose bytes 0x80 to 0x9F are printable.
QStringDecoder asBrowsersRead(QStringDecoder decoder) {
    const QByteArray name = QByteArray(decoder.name()).toLower();
    if (name == "iso-8859-1" || name == "us-ascii") return QStringDecoder("windows-1252");
    return decoder;
}

// Decoded as a browser decodes: a byte order mark first, then the reply's charset, then (for HTML) the page's own
// <meta> charset, else UTF-8. A charset that is not known is passed over.
QString decodePage(const QByteArray &body, const ContentType &type) {
    QStringDecoder decoder;
    if (const auto marked = QStringConverter::encodingForData(body)) decoder = QStringDecoder(*marked);
    if (!decoder.isValid() && !type.charset.isEmpty()) decoder = QStringDecoder(type.charset.constData());
    if (!decoder.isValid() && isHtml(type)) decoder = QStringDecoder::decoderForHtml(body);
    if (!decoder.isValid()) decoder = QStringDecoder(QStringConverter::Utf8);
    return asBrowsersRead(std::move(decoder)).decode(body);
}

// A numeric character reference: its character (a surrogate pair above U+FFFF), none for 0, U+FFFD for a number
// that names no character.
QString referencedCharacter(const QString &digits, int base) {
    bool ok = false;
    const uint code = digits.toUInt(&ok, base);
    if (ok && code == 0) return {};
    if (!ok || code > 0x10FFFF || QChar::isSurrogate(code)) return QString(QChar::ReplacementCharacter);
    const char32_t character = code;
    return QString::fromUcs4(&character, 1);
}

// The text of an HTML page: the body without markup, scripts and styles, entities decoded.
QString htmlText(const QString &html) {
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
        if (name.startsWith(QLatin1String("#x"))) decoded += referencedCharacter(name.mid(2), 16);
        else if (name.startsWith(u'#')) decoded += referencedCharacter(name.mid(1), 10);
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
    return decoded;
}

} // namespace

std::chrono::milliseconds pageTimeLimit() { return currentPageTimeLimit; }
void setPageTimeLimit(std::chrono::milliseconds limit) { currentPageTimeLimit = limit; }

QString pageText(const QByteArray &body, const QByteArray &contentType) {
    const ContentType type = parseContentType(contentType);
    const QString text = decodePage(body, type);
    return (isHtml(type) ? htmlText(text) : text).trimmed();
}

QString requestFailure(const QNetworkReply &reply, std::chrono::milliseconds timeLimit) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) return QStringLiteral("HTTP status %1").arg(status);
    switch (reply.error()) {
    case QNetworkReply::NoError: return {};
    case QNetworkReply::OperationCanceledError: // the time limit aborts the request
    case QNetworkReply::TimeoutError:
        return QStringLiteral("no answer within %1 s").arg(double(timeLimit.count()) / 1000);
    default: return reply.errorString();
    }
}

QNetworkReply *getWithinTimeLimit(QNetworkAccessManager &network, const QUrl &address,
                                  std::chrono::milliseconds timeLimit) {
    QNetworkReply *reply = network.get(QNetworkRequest(address));
    QTimer::singleShot(timeLimit, reply, &QNetworkReply::abort);
    return reply;
}

FetchedPage fetchPageText(const QUrl &address, std::chrono::milliseconds timeLimit) {
    if (!address.isValid() || address.isEmpty()) return {std::nullopt, QStringLiteral("no address to send to")};
    QNetworkAccessManager network;
    QNetworkReply *reply = getWithinTimeLimit(network, address, timeLimit);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    reply->deleteLater();
    // The wait also ends when the program quits: a reply cut short there is no answer.
    if (!reply->isFinished()) return {std::nullopt, QStringLiteral("no answer: the program is ending")};
    if (QString failure = requestFailure(*reply, timeLimit); !failure.isEmpty()) return {std::nullopt, failure};
    return {pageText(reply->readAll(), reply->rawHeader("Content-Type")), {}};
}

bool DownloadPipList() {
    platform::Window &window = platform::window();
    window.promptCustomerCode();
    const store::Globals &values = store::globals();
    const ServiceRequest request = downloadRequest(values.vendorId, values.customerCode);
    const FetchedPage page = fetchPageText(request.url(), pageTimeLimit());
    if (!page.text) {
        window.setStatus(QStringLiteral("Printer list: no answer from the service"));
        window.requestFailed(request.url(), page.failure);
        return false;
    }
    if (store::PipRecords(values.iniFile).storeDownloadedList(*page.text)) window.refillPipList();
    return true;
}

} // namespace upload
