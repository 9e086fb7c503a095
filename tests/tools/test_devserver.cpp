// The development service against the program's own requests: every request is built with the program's request
// functions, so these tests prove that the program and the service agree. The first group drives the handler in
// process; the second runs the real binary on 127.0.0.1 and talks HTTP to it.
#include "httpfront.h"
#include "servicehandler.h"
#include "servicestore.h"

#include "upload/scrambler.h"
#include "upload/servicerequests.h"
#include "store/servicetable.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace devserver;

namespace {

QCoreApplication *ensureApp() {
    static int argc = 1;
    static char name[] = "devserver_tests";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    return app ? app : QCoreApplication::instance();
}

const QString Section = QString(QChar(0x00A7));

// A record of 33 fields whose counter of slot s (2..26) is base + s, built as the reading engine builds it.
QString recordText(const QString &address, qint64 base, int fieldCount = 33, const QString &vendorField = "YLK") {
    QStringList fields = {address, "Model X 5", "SER-77"};
    const auto offset = [&](int slot) {
        return QString::number(qint64(store::UploadOffsetKey[slot - 2]) - (base + slot));
    };
    for (int slot = 2; slot <= 8; ++slot) fields << offset(slot);
    fields << "80" << "15" << "" << "100";
    for (int slot = 9; slot <= 26; ++slot) fields << offset(slot);
    fields << vendorField;
    while (fields.size() > fieldCount) fields.removeLast();
    return fields.join(';');
}

Request requestOf(const upload::ServiceRequest &sr) {
    const QUrl url = sr.url();
    return {"GET", url.path(QUrl::FullyEncoded).toUtf8(), url.query(QUrl::FullyEncoded).toUtf8(), {}};
}

class InProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp();
        qputenv("METERLANE_SERVICE_URL", "http://127.0.0.1:1");
        ASSERT_TRUE(dir.isValid());
        QString error;
        ASSERT_TRUE(store.open(dir.filePath("service.sqlite"), &error)) << error.toStdString();
    }
    QTemporaryDir dir;
    ServiceStore store;
    ServiceHandler handler{store};
};

TEST_F(InProcess, UploadStoresTheCountersTakenBackExactly) {
    const Reply reply =
        handler.handle(requestOf(upload::uploadRequest("YLK", recordText("10.0.0.5", 1000), "004")));
    ASSERT_EQ(reply.status, 200) << reply.body.toStdString();
    const QList<Reading> all = store.allReadings();
    ASSERT_EQ(all.size(), 1);
    const Reading &r = all[0];
    EXPECT_EQ(r.vendor, "YLK");
    EXPECT_EQ(r.address, "10.0.0.5");
    EXPECT_EQ(r.model, "Model X 5");
    EXPECT_EQ(r.identity, "SER-77");
    for (int slot = 2; slot <= 26; ++slot) EXPECT_EQ(r.counters[slot - 2], 1000 + slot) << "slot " << slot;
    EXPECT_EQ(r.toner[0], "80");
    EXPECT_EQ(r.toner[1], "15");
    EXPECT_EQ(r.toner[2], "");
    EXPECT_EQ(r.toner[3], "100");
    EXPECT_EQ(r.vendorField, "YLK");
    EXPECT_FALSE(r.received.isEmpty());
    EXPECT_TRUE(r.query.startsWith("d=YLK"));

    // A failed read (-10000) and an absent counter (the constant itself) come back as the program meant them; a
    // printer without an identity is taken too.
    QStringList fields = recordText("10.0.0.6", 0).split(';');
    fields[2] = "";
    fields[3] = QString::number(qint64(store::UploadOffsetKey[0]) + 10000);
    fields[4] = QString::number(store::UploadOffsetKey[1]);
    ASSERT_EQ(handler.handle(requestOf(upload::uploadRequest("KOPIERHAUS", fields.join(';'), "004"))).status, 200);
    const auto latest = store.latestReading("KOPIERHAUS", "10.0.0.6");
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->counters[0], -10000);
    EXPECT_EQ(latest->counters[1], 0);

    // Model and identity may hold ";": the fixed fields are counted from the end, the rest split at its first ";".
    fields = recordText("10.0.0.7", 0).split(';');
    fields[1] = "MP;C3003";
    fields[2] = "SER;77";
    ASSERT_EQ(handler.handle(requestOf(upload::uploadRequest("YLK", fields.join(';'), "004"))).status, 200);
    const auto split = store.latestReading("YLK", "10.0.0.7");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->model, "MP");
    EXPECT_EQ(split->identity, "C3003;SER;77");
    EXPECT_TRUE(split->ambiguousSplit);
    EXPECT_EQ(split->counters[24], 26);
    EXPECT_FALSE(store.allReadings()[0].ambiguousSplit);
}

TEST_F(InProcess, AFileMadeBeforeTheSplitFlagGetsIt) {
    {
        QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "old");
        old.setDatabaseName(dir.filePath("service.sqlite"));
        ASSERT_TRUE(old.open());
        ASSERT_TRUE(QSqlQuery("ALTER TABLE readings DROP COLUMN ambiguous_split", old).isActive());
    }
    QSqlDatabase::removeDatabase("old");
    ServiceStore reopened;
    QString error;
    ASSERT_TRUE(reopened.open(dir.filePath("service.sqlite"), &error)) << error.toStdString();
    ServiceHandler onOldFile(reopened);
    EXPECT_EQ(onOldFile.handle(requestOf(upload::uploadRequest("YLK", recordText("10.0.0.5", 1), "004"))).status, 200);
}

TEST_F(InProcess, AHeadIsAnsweredAndStoresNothing) {
    for (const upload::ServiceRequest &sr : {upload::uploadRequest("YLK", recordText("10.0.0.5", 1), "004"),
                                             upload::announcementRequest("YLK", "004", "SER-77", "Hall")}) {
        Request head = requestOf(sr);
        head.method = "HEAD";
        EXPECT_EQ(handler.handle(head).status, 200);
    }
    EXPECT_TRUE(store.allReadings().isEmpty());
    EXPECT_TRUE(store.announcements().isEmpty());
}

TEST_F(InProcess, MalformedUploadsAreRefusedAndNothingIsStored) {
    const auto status = [&](const upload::ServiceRequest &sr) { return handler.handle(requestOf(sr)); };
    Reply r = status(upload::uploadRequest("YLK", recordText("10.0.0.5", 1, 32), "004"));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.body.contains("32 fields")) << r.body.toStdString();
    EXPECT_EQ(status(upload::uploadRequest("YLK", recordText("10.0.0.5", 1), "005")).status, 400);
    // BUROTEC's data sent to YLK's address.
    upload::ServiceRequest foreign(store::findVendor("YLK")->upload);
    foreign.value("BUROTEC" + upload::EncodeText(recordText("10.0.0.5", 1) + ";004"));
    r = status(foreign);
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.body.contains("vendor id")) << r.body.toStdString();
    QStringList fields = recordText("10.0.0.5", 1).split(';');
    fields[20] = "12x";
    EXPECT_EQ(status(upload::uploadRequest("YLK", fields.join(';'), "004")).status, 400);
    fields[20] = "99999999999999999999"; // does not fit
    EXPECT_EQ(status(upload::uploadRequest("YLK", fields.join(';'), "004")).status, 400);
    EXPECT_EQ(handler.handle({"GET", "/ylk/meter/upload", "", {}}).status, 400);
    EXPECT_EQ(handler.handle({"POST", "/ylk/meter/upload", "d=x", {}}).status, 405);
    EXPECT_TRUE(store.allReadings().isEmpty());
}

TEST_F(InProcess, ListReplyHasEveryPrinterFollowedByABar) {
    QString error;
    ASSERT_TRUE(store.setCustomer("4711", {{"10.0.0.5", "Office"}, {"printer.lan:161", "Lab & Co " + Section}},
                                  &error));
    Reply r = handler.handle(requestOf(upload::downloadRequest("COPIAR", "4711")));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(QString::fromUtf8(r.body),
              "10.0.0.5" + Section + "Office|printer.lan:161" + Section + "Lab & Co " + Section + "|");
    // The default address for an identifier the table does not hold answers too.
    EXPECT_EQ(handler.handle(requestOf(upload::downloadRequest("NOBODY", "4711"))).body, r.body);
    EXPECT_EQ(handler.handle(requestOf(upload::downloadRequest("YLK", "4712"))).body, QByteArray());
    EXPECT_EQ(handler.handle(requestOf(upload::downloadRequest("YLK", ""))).body, QByteArray());
    // The administration request replaces the list.
    r = handler.handle({"POST", ServiceHandler::adminCustomerPath(), "cid=4711",
                        QString("10.0.0.9" + Section + "Hall|").toUtf8()});
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(QString::fromUtf8(handler.handle(requestOf(upload::downloadRequest("YLK", "4711"))).body),
              "10.0.0.9" + Section + "Hall|");
}

TEST_F(InProcess, AnnouncementKeepsTheLocationVerbatim) {
    const QString location = "Floor 2 & 3 #7 " + Section + "12  end ";
    Reply r = handler.handle(requestOf(upload::announcementRequest("GRAFIKA", "004", "SER 1&2", location)));
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    const QList<Announcement> list = store.announcements();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].vendor, "GRAFIKA");
    EXPECT_EQ(list[0].identity, "SER 1&2");
    EXPECT_EQ(list[0].location, location);
    EXPECT_EQ(handler.handle(requestOf(upload::announcementRequest("GRAFIKA", "040", "S", "L"))).status, 400);
    upload::ServiceRequest foreign(store::findVendor("GRAFIKA")->announcement);
    foreign.value("YLK;" + upload::EncodeText("004")).field("&PRNSER=").value("S").field("&PRNUBI=").value("L");
    EXPECT_EQ(handler.handle(requestOf(foreign)).status, 400);
    EXPECT_EQ(store.announcements().size(), 1);
}

TEST_F(InProcess, PortalsShowTheLatestTotals) {
    QString error;
    ASSERT_TRUE(store.setCustomer("321", {{"10.0.0.5", "Office"}, {"10.0.0.8", "Empty room"}}, &error));
    ASSERT_EQ(handler.handle(requestOf(upload::uploadRequest("YLK", recordText("10.0.0.5", 500), "004"))).status,
              200);
    ASSERT_EQ(handler.handle(requestOf(upload::uploadRequest("YLK", recordText("10.0.0.5", 9000), "004"))).status,
              200);
    const auto check = [](const Reply &r) {
        EXPECT_EQ(r.status, 200) << r.body.toStdString();
        EXPECT_TRUE(r.contentType.startsWith("text/html"));
        EXPECT_TRUE(r.body.contains("<td class=\"bw\">9002</td>")) << r.body.toStdString();
        EXPECT_TRUE(r.body.contains("<td class=\"colour\">9003</td>"));
        EXPECT_FALSE(r.body.contains(">502<"));
        EXPECT_TRUE(r.body.contains("Empty room</td><td colspan=\"6\">no reading yet"));
    };
    check(handler.handle(requestOf(upload::portalRequest("YLK", "004", "2.7.9", "321"))));
    int digit = 0;
    check(handler.handle(requestOf(upload::portalButtonRequest("YLK", 321, [&] { return digit++ % 10; }))));
    // A customer number above the offset makes a negative middle part.
    ASSERT_TRUE(store.setCustomer("9999999", {{"10.0.0.5", "Office"}}, &error));
    Reply big = handler.handle(requestOf(upload::portalButtonRequest("YLK", 9999999)));
    EXPECT_TRUE(big.body.contains("Customer 9999999")) << big.body.toStdString();
    // Another vendor's portal does not show YLK's readings.
    EXPECT_FALSE(handler.handle(requestOf(upload::portalRequest("BUROTEC", "004", "2.7.9", "321")))
                     .body.contains("9002"));
    // The token-less portals list their vendor's printers.
    ASSERT_EQ(
        handler.handle(requestOf(upload::uploadRequest("JUNOPRINT", recordText("10.1.1.1", 40), "004"))).status,
        200);
    Reply open = handler.handle(requestOf(upload::portalButtonRequest("JUNOPRINT", 321)));
    EXPECT_EQ(open.status, 200);
    EXPECT_TRUE(open.body.contains("10.1.1.1") && open.body.contains(">42<")) << open.body.toStdString();
    EXPECT_EQ(handler.handle({"GET", "/ylk/portal/customer", "t=12345", {}}).status, 400);
    EXPECT_EQ(handler.handle(requestOf(upload::portalRequest("YLK", "003", "2.7.9", "321"))).status, 400);
}

TEST_F(InProcess, GarbageIsAnsweredNotCrashedOn) {
    EXPECT_EQ(handler.handle({"GET", "/", "", {}}).status, 404);
    EXPECT_EQ(handler.handle({"GET", "/ylk/meter/upload/", "d=YLK", {}}).status, 404);
    EXPECT_EQ(handler.handle({"GET", QByteArray("/\xff\x00\x01", 4), "", {}}).status, 404);
    EXPECT_EQ(handler.handle({"GET", "/ylk/meter/upload", "d=YLK%ZZ%", {}}).status, 400);
    Reply r = handler.handle({"GET", "/ylk/meter/announce", "d=%FF%FE", {}});
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.body.contains("UTF-8"));
    EXPECT_EQ(handler.handle({"GET", "/ylk/meter/upload", "d=YLK" + QByteArray(100000, 'A'), {}}).status, 400);
    EXPECT_EQ(handler.handle({"GET", "/ylk/meter/upload", QByteArray(50000, '&'), {}}).status, 400);
    EXPECT_EQ(handler.handle({"GET", "/meter/pips", "cid=" + QByteArray(100000, '%'), {}}).status, 200);
    EXPECT_TRUE(store.allReadings().isEmpty());
}

// ---------------------------------------------------------------------------------------------------------------
// The real binary.

class Binary : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp();
        ASSERT_TRUE(dir.isValid());
        startServer();
    }
    void TearDown() override { stopServer(); }

    void startServer(const QStringList &extra = {}) {
        server = std::make_unique<QProcess>();
        server->setProgram(QStringLiteral(METERLANE_BIN_DIR "/yonderlook-devserver"));
        server->setArguments(QStringList{"--listen", "127.0.0.1:0", "--db", dir.filePath("service.sqlite")} + extra);
        server->setReadChannel(QProcess::StandardError);
        server->start();
        ASSERT_TRUE(server->waitForStarted(5000));
        QByteArray err;
        for (int i = 0; i < 100 && !err.contains('\n'); ++i) {
            server->waitForReadyRead(100);
            err += server->readAllStandardError();
        }
        const qsizetype at = err.indexOf("listening on http://127.0.0.1:");
        ASSERT_GE(at, 0) << err.toStdString();
        root = QString::fromLatin1(err.mid(at + 13, err.indexOf('\n', at) - at - 13));
        qputenv("METERLANE_SERVICE_URL", root.toUtf8());
    }
    void stopServer() {
        if (!server) return;
        server->terminate();
        if (!server->waitForFinished(5000)) server->kill();
        server->waitForFinished(2000);
        server.reset();
    }

    struct Answer {
        int status = 0;
        QByteArray body;
    };
    Answer get(const QUrl &url) {
        QNetworkAccessManager nam;
        QNetworkRequest request(url);
        QNetworkReply *reply = nam.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
        delete reply;
        return a;
    }
    // Raw bytes on a fresh connection; whatever comes back within the time.
    QByteArray raw(const QByteArray &bytes) {
        QTcpSocket socket;
        const QUrl url(root);
        socket.connectToHost(QHostAddress::LocalHost, quint16(url.port()));
        if (!socket.waitForConnected(3000)) return "no connection";
        socket.write(bytes);
        socket.waitForBytesWritten(3000);
        QByteArray out;
        while (socket.waitForReadyRead(700)) out += socket.readAll();
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<QProcess> server;
    QString root;
};

TEST_F(Binary, ProgramRequestsOverHttpAndAReadingSurvivesARestart) {
    stopServer();
    startServer({"--customer", "555=10.0.0.5" + Section + "Office,10.0.0.6" + Section + "Lab & Co"});
    Answer a = get(upload::downloadRequest("YLK", "555").url());
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(QString::fromUtf8(a.body), "10.0.0.5" + Section + "Office|10.0.0.6" + Section + "Lab & Co|");
    EXPECT_EQ(get(upload::downloadRequest("YLK", "556").url()).body, QByteArray());

    a = get(upload::uploadRequest("ESTRELLA", recordText("10.0.0.5", 70000), "004").url());
    ASSERT_EQ(a.status, 200) << a.body.toStdString();
    EXPECT_EQ(get(upload::uploadRequest("ESTRELLA", recordText("10.0.0.5", 1, 32), "004").url()).status, 400);
    const QString location = "Hall #1 & 2 " + Section;
    EXPECT_EQ(get(upload::announcementRequest("ESTRELLA", "004", "SER-77", location).url()).status, 200);

    stopServer();
    startServer();
    a = get(upload::portalButtonRequest("ESTRELLA", 555).url());
    EXPECT_EQ(a.status, 200);
    EXPECT_TRUE(a.body.contains("<td class=\"bw\">70002</td>")) << a.body.toStdString();
    EXPECT_TRUE(a.body.contains("<td class=\"colour\">70003</td>"));
    stopServer();

    ServiceStore check;
    QString error;
    ASSERT_TRUE(check.open(dir.filePath("service.sqlite"), &error)) << error.toStdString();
    ASSERT_EQ(check.allReadings().size(), 1);
    EXPECT_EQ(check.allReadings()[0].counters[24], 70026);
    ASSERT_EQ(check.announcements().size(), 1);
    EXPECT_EQ(check.announcements()[0].location, location);
}

TEST_F(Binary, GarbageRequestsLeaveTheServerRunning) {
    EXPECT_EQ(get(QUrl(root + "/nothing/here")).status, 404);
    raw(QByteArray("GET /\x01\x02\xff\xfe\x80 HTTP/1.1\r\nHost: x\r\n\r\n", 32));
    raw("GET /ylk/meter/upload?d=" + QByteArray(100000, 'Q') + " HTTP/1.1\r\nHost: x\r\n\r\n");
    raw("GET /ylk/meter/announce?d=%FF%00%ZZ HTTP/1.1\r\nHost: x\r\n\r\n");
    raw(QByteArray(5000, '\0'));
    raw("\r\n\r\n\r\n");
    const QByteArray answer = raw("GET /ylk/meter/announce?d=%FF%FE HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 400")) << answer.left(200).toStdString();
    Answer huge = get(QUrl(root + "/ylk/meter/upload?d=YLK" + QString(100000, 'x')));
    EXPECT_NE(huge.status, 200);
    ASSERT_EQ(server->state(), QProcess::Running);
    const QUrl upload = upload::uploadRequest("YLK", recordText("10.0.0.5", 3), "004").url();
    EXPECT_EQ(get(upload).status, 200);
    // The log line shows the query as it came ("%3B", "%20"; cut after 160 characters), then the status.
    const QByteArray query = upload.query(QUrl::FullyEncoded).toUtf8();
    const QByteArray line = "GET /ylk/meter/upload?" + query.left(160) + "...(" + QByteArray::number(query.size()) +
                            " bytes) -> 200 reading YLK 10.0.0.5";
    QByteArray said = server->readAllStandardError();
    while (!said.contains(line) && server->waitForReadyRead(3000)) said += server->readAllStandardError();
    EXPECT_TRUE(said.contains(line)) << said.toStdString();
}

} // namespace
