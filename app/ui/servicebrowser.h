// WebBrowser1: the main window's view of the service. navigate() sends the request at once and shows the answer
// page read-only when it arrives; nobody waits for it, but the caller may hear whether the service took it.
// Pictures and links of the page are never fetched.
#pragma once

#include "platform/window.h"

#include <QTextBrowser>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace ui {

class ServiceBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit ServiceBrowser(QWidget *parent = nullptr);

    // An empty or invalid address clears the page and sends nothing. A request takes at most
    // upload::uploadTimeLimit() in all.
    void navigate(const QUrl &address, platform::Window::Answered answered = {});
    // Requests sent and not yet answered.
    int pending() const { return pending_; }

signals:
    // The answer to a request arrived (or the request failed); the page shows it.
    void loaded(const QUrl &address);

private:
    void show(QNetworkReply *reply, const platform::Window::Answered &answered);
    QNetworkAccessManager *network_;
    int pending_ = 0;
};

} // namespace ui
