#include "ui/servicebrowser.h"

#include "upload/cycle.h"
#include "upload/download.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace ui {

namespace {
// The answer of a service page is small; a larger one is cut rather than held in memory whole.
constexpr qint64 PageLimit = 1 << 20;
} // namespace

ServiceBrowser::ServiceBrowser(QWidget *parent) : QTextBrowser(parent), network_(new QNetworkAccessManager(this)) {
    setObjectName(QStringLiteral("WebBrowser1"));
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void ServiceBrowser::navigate(const QUrl &address, platform::Window::Answered answered) {
    if (address.isEmpty() || !address.isValid()) {
        clear();
        if (answered) answered(QStringLiteral("no address to send to"));
        return;
    }
    ++pending_;
    QNetworkReply *reply = upload::getWithinTimeLimit(*network_, address, upload::uploadTimeLimit());
    connect(reply, &QNetworkReply::finished, this, [this, reply, answered] { show(reply, answered); });
}

void ServiceBrowser::show(QNetworkReply *reply, const platform::Window::Answered &answered) {
    --pending_;
    reply->deleteLater();
    if (answered) answered(upload::requestFailure(*reply, upload::uploadTimeLimit()));
    if (reply->error() != QNetworkReply::NoError && reply->bytesAvailable() == 0)
        setPlainText(reply->errorString());
    else
        setHtml(QString::fromUtf8(reply->read(PageLimit)));
    emit loaded(reply->url());
}

} // namespace ui
