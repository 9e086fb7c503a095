// The customer's printer list, downloaded from the service when no printer is configured: the customer code is
// asked for, the list page fetched, and its records stored in the slots of the configuration file.
#pragma once

#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

#include <chrono>
#include <optional>

namespace upload {

// How long the list page may take before the download gives up: 15 s unless set otherwise (tests shorten it).
std::chrono::milliseconds pageTimeLimit();
void setPageTimeLimit(std::chrono::milliseconds limit);

// Why a finished request counts as failed ("HTTP status 404", "no answer within 15 s", the network's own reason for
// a connection that failed), or the empty text when the service took it: an answer with an HTTP status below 400.
// timeLimit is the time the request was given.
QString requestFailure(const QNetworkReply &reply, std::chrono::milliseconds timeLimit);

// Sends a GET of address. Its time limit bounds the whole request, not only a pause in the answer: a request not
// finished when it has passed is aborted, however steadily a slow answer trickles in, and requestFailure names it
// "no answer within ...".
QNetworkReply *getWithinTimeLimit(QNetworkAccessManager &network, const QUrl &address,
                                  std::chrono::milliseconds timeLimit);

// A page's text as a browser shows it (see pageText), or why there is none.
struct FetchedPage {
    std::optional<QString> text;
    QString failure; // as requestFailure names it; "no address to send to" for an empty or invalid address
};

// GETs a page; it fails when it cannot be sent, when the answer's status is 400 or above, and when no answer came
// within the time limit. Pending events are processed while it waits.
FetchedPage fetchPageText(const QUrl &address, std::chrono::milliseconds timeLimit);

// The text of a page as a browser shows it, given its bytes and its reply's Content-Type: decoded by the reply's
// charset, else by the page's <meta> charset, else as UTF-8; for HTML (or no type) the body without markup and
// with entities decoded, any other type as it stands.
QString pageText(const QByteArray &body, const QByteArray &contentType);

// Asks for the customer code, downloads the list and stores it; a record without a description raises
// platform::Fault 9 after its address was stored. False when the list could not be downloaded (the window is told
// which request failed and why); a list without printers is no failure.
bool DownloadPipList();

} // namespace upload
