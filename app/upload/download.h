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

// GETs a page and returns its text as a browser shows it (the body, markup removed, entities decoded); nothing
// when it failed or did not come within the time limit. Pending events are processed while it waits.
std::optional<QString> fetchPageText(const QUrl &address, std::chrono::milliseconds timeLimit);

// The text of an HTML page without its markup.
QString pageText(const QString &html);

// Asks for the customer code, downloads the list and stores it; a record without a description raises
// platform::Fault 9 after its address was stored.
void DownloadPipList();

} // namespace upload
