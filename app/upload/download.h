// The customer's printer list, downloaded from the service when no printer is configured: the customer code is
// asked for, the list page fetched, and its records stored in the slots of the configuration file.
#pragma once

#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace upload {

// How long the list page may take before the download gives up: 15 s unless set otherwise (tests shorten it).
std::chrono::milliseconds pageTimeLimit();
void setPageTimeLimit(std::chrono::milliseconds limit);

// GETs a page and returns its text as a browser shows it (see pageText); nothing when it failed or did not come
// within the time limit. Pending events are processed while it waits.
std::optional<QString> fetchPageText(const QUrl &address, std::chrono::milliseconds timeLimit);

// The text of a page as a browser shows it, given its bytes and its reply's Content-Type: decoded by the reply's
// charset, else by the page's <meta> charset, else as UTF-8; for HTML (or no type) the body without markup and
// with entities decoded, any other type as it stands.
QString pageText(const QByteArray &body, const QByteArray &contentType);

// Asks for the customer code, downloads the list and stores it; a record without a description raises
// platform::Fault 9 after its address was stored.
void DownloadPipList();

} // namespace upload
