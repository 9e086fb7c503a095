#include "ui/servicebrowser.h"

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

void ServiceBrowser::navigate(const QUrl &address) {
    if (address.isEmpty() || !address.isValid()) {
        clear();
        return;
    }
    ++pending_;
    QNetworkReply *reply = network_->get(QNetworkRequest(address));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { show(reply); });
}

void ServiceBrowser::show(QNetworkReply *reply) {
    --pending_;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError && reply->bytesAvailable() == 0)
        setPlainText(reply->errorString());
    else
        setHtml(QString::fromUtf8(reply->read(PageLimit)));
    emit loaded(reply->url());
}

} // namespace ui
