#include "platform/hostresolution.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {
namespace {

constexpr qsizetype MaxHostNameLength = 253; // the longest name DNS can carry

bool looksLikeAddress(const QString &host) {
    return host.contains(QLatin1Char('.')) && host.split(QLatin1Char('.')).size() == 4;
}

// Only texts that could name a host are handed to the resolver: a lookup leaves the machine (the resolver is a
// remote address), so list placeholders such as "[new]" or "----", blanks and the like never reach it.
bool couldBeHostName(const QString &host) {
    if (host.isEmpty() || host.size() > MaxHostNameLength || host.startsWith(QLatin1Char('-'))) return false;
    bool hasLetterOrDigit = false;
    for (const QChar c : host) {
        const char16_t u = c.unicode();
        const bool letterOrDigit = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
        if (!letterOrDigit && u != u'-' && u != u'_' && u != u'.') return false;
        hasLetterOrDigit = hasLetterOrDigit || letterOrDigit;
    }
    return hasLetterOrDigit;
}

QString lookUp(const QString &host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address instead of one per socket type
    addrinfo *found = nullptr;
    if (getaddrinfo(host.toLatin1().constData(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    QString result;
    for (const addrinfo *entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ai_addr);
        if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
            result = QString::fromLatin1(text);
            break;
        }
    }
    freeaddrinfo(found);
    return result;
}

} // namespace

QString ResolveHost(const QString &host) {
    if (looksLikeAddress(host)) return host;
    if (!couldBeHostName(host)) return {};
    return lookUp(host);
}

} // namespace platform
