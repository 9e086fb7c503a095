// What the widget tests of the dialogs and actions stand on: an offscreen application and a session bus of its own
// for the suite, a program folder of its own for each test, a recorder of the addresses handed to the desktop
// (nothing is really opened), a notification service, and an answerer of the modal boxes that a test expects.
#pragma once

#include "support/files.h"
#include "store/globals.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScopedValueRollback>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <sys/prctl.h>

#include <csignal>
#include <deque>
#include <functional>
#include <vector>

namespace uitest {

using testsupport::readBytes;

// A service root where nothing listens.
inline const QString ClosedServiceRoot = QStringLiteral("http://127.0.0.1:9");

// A control of a window or dialog by its name; a test failure when there is none.
template <typename T> T *child(QWidget &parent, const QString &name) {
    T *found = parent.findChild<T *>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
}

// A session bus of the test program's own (dbus-daemon, ended with the program), so that no widget test reaches the
// desktop's services. It starts nothing on demand: the desktop's own notification service could answer otherwise.
class PrivateSessionBus {
public:
    PrivateSessionBus() {
        QFile config(folder_.filePath(QStringLiteral("session.conf")));
        if (config.open(QIODevice::WriteOnly))
            config.write("<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(folder_.path()) +
                         "</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        config.close();
        daemon_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--print-address"),
                       QStringLiteral("--nofork")});
        const QByteArray address = daemon_.waitForReadyRead(5000) ? daemon_.readLine().trimmed() : QByteArray();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.isEmpty() ? QByteArray("unix:path=/nonexistent") : address);
    }
    ~PrivateSessionBus() {
        daemon_.kill();
        daemon_.waitForFinished();
    }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
};

class WidgetTest : public ::testing::Test {
protected:
    // The application and the session bus live for the suite and go before the program's own teardown.
    static void SetUpTestSuite() {
        if (QApplication::instance()) return;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "ui_tests";
        static char *argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
        bus = new PrivateSessionBus;
    }
    static void TearDownTestSuite() {
        delete bus;
        bus = nullptr;
        delete app;
        app = nullptr;
    }
    static inline QApplication *app = nullptr;
    static inline PrivateSessionBus *bus = nullptr;

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        store::setProgramFolder(folder.path());
        store::globals().vendorId = QStringLiteral("YLK");
        store::globals().customerCode.clear();
        store::globals().dataSent = false;
    }

    QTemporaryDir folder;
};

// Takes the addresses that the program hands to the desktop for the schemes it serves, for as long as it lives.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QStringList &schemes = {QStringLiteral("http"), QStringLiteral("https"),
                                                       QStringLiteral("mailto")})
        : schemes_(schemes) {
        for (const QString &scheme : schemes_) QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override {
        for (const QString &scheme : schemes_) QDesktopServices::unsetUrlHandler(scheme);
    }

    std::vector<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.push_back(url); }

private:
    QStringList schemes_;
};

// The desktop's notification service as far as the program uses it, on a connection of its own to the session bus
// while it lives, so that the program's calls travel through the bus as to another process. It reads markup in the
// body, answers every call answerDelayMs late, counts the capability asks and records each notice as
// "replaces-id|icon|summary|body|time-out|desktop-entry"; a notice that replaces another keeps its number.
class NotificationService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    NotificationService() {
        EXPECT_TRUE(bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                        QDBusConnection::ExportAllSlots) &&
                    bus_.registerService(Name));
    }
    ~NotificationService() override {
        bus_.unregisterService(Name);
        QDBusConnection::disconnectFromBus(bus_.name());
    }

    QStringList notices;
    int capabilityAsks = 0;
    int answerDelayMs = 0;

public slots:
    QStringList GetCapabilities() {
        ++capabilityAsks;
        return answerLater(QStringList{QStringLiteral("body"), QStringLiteral("body-markup")});
    }
    uint Notify(const QString &, uint replacesId, const QString &appIcon, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int expireTimeout) {
        notices.append(QStringList{QString::number(replacesId), appIcon, summary, body, QString::number(expireTimeout),
                                   hints.value(QStringLiteral("desktop-entry")).toString()}
                           .join(u'|'));
        return answerLater(replacesId != 0 ? replacesId : ++lastId_);
    }

private:
    template <typename T> T answerLater(const T &value) {
        setDelayedReply(true);
        QTimer::singleShot(answerDelayMs, this, [reply = message().createReply(QVariant::fromValue(value)), this] {
            bus_.send(reply);
        });
        return value;
    }

    static inline const QString Name = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("notices"));
    uint lastId_ = 0;
};

// One modal box as the user saw it.
struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool operator==(const SeenBox &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const SeenBox &box) {
    return out << "{" << box.title.toStdString() << " | " << box.text.toStdString() << " | " << int(box.icon) << "}";
}

// While it lives, answers every modal message box with the next button of its queue (OK once the queue is empty)
// and records it, its title as titleOf reads it; any other modal dialog goes to onDialog, which must close it (it is
// rejected when there is none).
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::deque<QMessageBox::StandardButton> buttons = {}) : buttons_(std::move(buttons)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { answer(); });
        poll_.start(5);
    }

    std::vector<SeenBox> seen;
    std::function<QString(QWidget &)> titleOf = [](QWidget &box) { return box.windowTitle(); };
    std::function<void(QDialog *)> onDialog;
    int dialogs = 0;

private:
    void answer() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || answering_) return;
        const QScopedValueRollback busy(answering_, true); // titleOf may wait for the box, running this poll
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen.push_back({titleOf(*box), box->text(), box->icon()});
            QMessageBox::StandardButton button = QMessageBox::Ok;
            if (!buttons_.empty()) {
                button = buttons_.front();
                buttons_.pop_front();
            }
            box->button(button) ? box->button(button)->click() : box->reject();
            return;
        }
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            ++dialogs;
            onDialog ? onDialog(dialog) : dialog->reject();
        }
    }

    std::deque<QMessageBox::StandardButton> buttons_;
    QTimer poll_;
    bool answering_ = false;
};

} // namespace uitest
