#include "mailer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace alerts {
namespace {

struct EasyCleanup {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
struct ListCleanup {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// One message on its way: the easy handle and everything it reads from while the multi handle drives it.
struct Transfer {
    QByteArray message;
    qsizetype sent = 0;
    std::chrono::milliseconds timeLimit{};
    QString caFile;
    Delivered delivered;
    char curlSaid[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, ListCleanup> recipients; // declared before easy: the handle goes first
    std::unique_ptr<CURL, EasyCleanup> easy;
};

// libcurl reads the message from here; it does the dot-stuffing and the final "." itself.
size_t readMessage(char *buffer, size_t size, size_t count, void *userdata) {
    auto *transfer = static_cast<Transfer *>(userdata);
    const size_t length = std::min<size_t>(size * count, transfer->message.size() - transfer->sent);
    std::memcpy(buffer, transfer->message.constData() + transfer->sent, length);
    transfer->sent += qsizetype(length);
    return length;
}

QString seconds(std::chrono::milliseconds duration) { return QString::number(duration.count() / 1000.0); }

// The reply code in a failure text of libcurl's SMTP ("RCPT failed: 550") tells which step the server refused.
bool saidAbout(const Transfer &transfer, const char *step) {
    return std::strncmp(transfer.curlSaid, step, std::strlen(step)) == 0;
}

// A reply code of the server's that ended the transaction. With several recipients libcurl stops at the first refused
// one and sends no data, so no recipient has the message: a refused recipient refuses the whole message (4xx: all of
// it again later, 5xx: dropped), and nobody ever gets it twice.
Delivery judgeReply(const Transfer &transfer, CURLcode result, long code) {
    const QString number = QString::number(code);
    const bool passing = code / 100 == 4;
    if (saidAbout(transfer, "MAIL"))
        return {passing ? Outcome::Retry : Outcome::ChannelFault, "sender refused (" + number + ")"};
    if (saidAbout(transfer, "RCPT"))
        return {passing ? Outcome::Retry : Outcome::Refused, "recipient refused (" + number + ")"};
    // DATA refused, or the data refused after its final "." (libcurl says nothing of its own then).
    if (saidAbout(transfer, "DATA") || (result == CURLE_WEIRD_SERVER_REPLY && !*transfer.curlSaid))
        return {passing ? Outcome::Retry : Outcome::Refused, "message refused (" + number + ")"};
    return {Outcome::Retry, "the server answered " + number + ": " + QString::fromUtf8(transfer.curlSaid)};
}

Delivery judge(const Transfer &transfer, CURLcode result) {
    const QString said = QString::fromUtf8(*transfer.curlSaid ? transfer.curlSaid : curl_easy_strerror(result));
    long code = 0;
    curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &code);
    switch (result) {
    case CURLE_OK:
        return {Outcome::Accepted, {}};
    case CURLE_LOGIN_DENIED:
        if (code < 400) return {Outcome::ChannelFault, "no login possible: " + said};
        return {Outcome::ChannelFault, QStringLiteral("login refused by the server (%1)").arg(code)};
    case CURLE_USE_SSL_FAILED:
        if (code >= 400)
            return {Outcome::ChannelFault, QStringLiteral("STARTTLS refused by the server (%1), and a password is "
                                                          "never sent without it").arg(code)};
        return {Outcome::ChannelFault, "the server offers no STARTTLS, and a password is never sent without it"};
    case CURLE_PEER_FAILED_VERIFICATION:
        return {Outcome::ChannelFault, "certificate not trusted: " + said};
    case CURLE_SSL_CACERT_BADFILE:
        return {Outcome::ChannelFault, "CA file unreadable: " + transfer.caFile};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
        return {Outcome::ChannelFault, "TLS failed: " + said};
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {Outcome::ChannelFault, "server address not usable: " + said};
    case CURLE_OPERATION_TIMEDOUT:
        return {Outcome::Retry, "no answer within " + seconds(transfer.timeLimit) + " s"};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return {Outcome::Retry, "no connection: " + said};
    default:
        if (code >= 400) return judgeReply(transfer, result, code);
        return {Outcome::Retry, "connection lost: " + said};
    }
}

// The one multi handle of the process, driven from the Qt event loop: libcurl names the sockets to watch and the
// time to wake, we tell it which socket is ready or that the time has come, and collect what has finished.
class MailDriver : public QObject {
public:
    MailDriver() : QObject(QCoreApplication::instance()), multi_(curl_multi_init()) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
        curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &MailDriver::watchSocket);
        curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &MailDriver::setTimer);
        curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    }
    ~MailDriver() override {
        for (auto &[easy, transfer] : transfers_) curl_multi_remove_handle(multi_, easy);
        transfers_.clear();
        curl_multi_cleanup(multi_);
    }

    static MailDriver &instance() {
        static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        Q_UNUSED(initialised)
        static QPointer<MailDriver> driver;
        if (!driver) driver = new MailDriver;
        return *driver;
    }

    void start(std::unique_ptr<Transfer> transfer) {
        ++inFlight_;
        CURL *easy = transfer->easy.get();
        const CURLMcode added = curl_multi_add_handle(multi_, easy);
        if (added != CURLM_OK) {
            finishLater(std::move(transfer->delivered),
                        {Outcome::Retry, QString::fromUtf8(curl_multi_strerror(added))});
            return;
        }
        transfers_.emplace(easy, std::move(transfer));
    }

    // A failure found before any connection still reaches its caller from the event loop, as every outcome does.
    void fail(Delivered delivered, Delivery delivery) {
        ++inFlight_;
        finishLater(std::move(delivered), std::move(delivery));
    }

    int inFlight() const { return inFlight_; }

private:
    struct SocketWatch {
        std::unique_ptr<QSocketNotifier> read, write;
    };

    static int watchSocket(CURL *, curl_socket_t socket, int what, void *driver, void *) {
        static_cast<MailDriver *>(driver)->watch(socket, what);
        return 0;
    }
    static int setTimer(CURLM *, long milliseconds, void *driver) {
        QTimer &timer = static_cast<MailDriver *>(driver)->timer_;
        if (milliseconds < 0) timer.stop();
        else timer.start(int(milliseconds));
        return 0;
    }

    void watch(curl_socket_t socket, int what) {
        if (what == CURL_POLL_REMOVE) {
            // Called from within a notifier's own signal at times: let it go later, silent from now on.
            const auto found = sockets_.find(socket);
            if (found == sockets_.end()) return;
            for (auto *notifier : {found->second.read.release(), found->second.write.release()}) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
            sockets_.erase(found);
            return;
        }
        SocketWatch &watch = sockets_[socket];
        if (!watch.read) {
            watch.read = notifierFor(socket, QSocketNotifier::Read, CURL_CSELECT_IN);
            watch.write = notifierFor(socket, QSocketNotifier::Write, CURL_CSELECT_OUT);
        }
        watch.read->setEnabled(what & CURL_POLL_IN);
        watch.write->setEnabled(what & CURL_POLL_OUT);
    }

    std::unique_ptr<QSocketNotifier> notifierFor(curl_socket_t socket, QSocketNotifier::Type type, int ready) {
        auto notifier = std::make_unique<QSocketNotifier>(socket, type);
        connect(notifier.get(), &QSocketNotifier::activated, this, [this, socket, ready] { act(socket, ready); });
        return notifier;
    }

    void act(curl_socket_t socket, int ready) {
        int running = 0;
        curl_multi_socket_action(multi_, socket, ready, &running);
        collectFinished();
    }

    void collectFinished() {
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi_, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            CURL *easy = message->easy_handle;
            const CURLcode result = message->data.result;
            const auto found = transfers_.find(easy);
            std::unique_ptr<Transfer> transfer = std::move(found->second);
            transfers_.erase(found);
            const Delivery delivery = judge(*transfer, result);
            curl_multi_remove_handle(multi_, easy);
            finish(transfer->delivered, delivery);
        }
    }

    void finishLater(Delivered delivered, Delivery delivery) {
        QMetaObject::invokeMethod(
            this, [this, delivered = std::move(delivered), delivery] { finish(delivered, delivery); },
            Qt::QueuedConnection);
    }

    void finish(const Delivered &delivered, const Delivery &delivery) {
        --inFlight_;
        if (delivered) delivered(delivery);
    }

    CURLM *multi_;
    QTimer timer_;
    std::map<curl_socket_t, SocketWatch> sockets_;
    std::map<CURL *, std::unique_ptr<Transfer>> transfers_;
    int inFlight_ = 0;
};

std::unique_ptr<Transfer> transferFor(const MailServer &server, const QString &from, const QStringList &to,
                                      const QByteArray &message, Delivered delivered) {
    auto transfer = std::make_unique<Transfer>();
    transfer->message = message;
    transfer->timeLimit = server.timeLimit;
    transfer->caFile = server.caFile;
    transfer->delivered = std::move(delivered);
    for (const QString &address : to)
        transfer->recipients.reset(curl_slist_append(transfer->recipients.release(), address.toUtf8().constData()));
    transfer->easy.reset(curl_easy_init());
    CURL *easy = transfer->easy.get();
    // The address holds no credentials: libcurl gets them apart, so that no failure text can repeat them.
    const QByteArray address = server.server.adjusted(QUrl::RemoveUserInfo).toString(QUrl::FullyEncoded).toUtf8();
    curl_easy_setopt(easy, CURLOPT_URL, address.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->curlSaid);
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    if (!server.user.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, server.user.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, server.password.toUtf8().constData());
    }
    // smtps is TLS from the start; on smtp a login waits for STARTTLS, and without one TLS is taken where offered.
    if (server.server.scheme() == QLatin1String("smtp"))
        curl_easy_setopt(easy, CURLOPT_USE_SSL, server.user.isEmpty() ? long(CURLUSESSL_TRY) : long(CURLUSESSL_ALL));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, server.verify ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, server.verify ? 2L : 0L);
    if (!server.caFile.isEmpty()) curl_easy_setopt(easy, CURLOPT_CAINFO, server.caFile.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_MAIL_FROM, from.toUtf8().constData());
    curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, transfer->recipients.get());
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &readMessage);
    curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(server.timeLimit.count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(server.timeLimit.count()));
    return transfer;
}

} // namespace

void sendMail(const MailServer &server, const QString &from, const QStringList &to, const QByteArray &message,
              Delivered delivered) {
    MailDriver &driver = MailDriver::instance();
    const QString scheme = server.server.scheme();
    if (scheme != QLatin1String("smtp") && scheme != QLatin1String("smtps")) {
        driver.fail(std::move(delivered), {Outcome::ChannelFault, "not an smtp:// or smtps:// server"});
        return;
    }
    if (to.isEmpty()) {
        driver.fail(std::move(delivered), {Outcome::ChannelFault, "no recipient"});
        return;
    }
    driver.start(transferFor(server, from, to, message, std::move(delivered)));
}

int mailsInFlight() { return MailDriver::instance().inFlight(); }

} // namespace alerts
