// The log: lines as people read them (local date and time, version, message), appended in call order, one line
// per call whatever the message holds, and a log that cannot be written never troubling the caller.
#include "store/globals.h"
#include "store/log.h"

#include "support/files.h"
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

namespace {

using namespace Qt::StringLiterals;

using testsupport::readBytes;

// What the system locale writes for each second in [from, to]: short date, then long time without its zone name.
QStringList possibleStamps(QDateTime from, const QDateTime &to) {
    const QLocale locale = QLocale::system();
    QStringList stamps;
    for (from.setTime(QTime(from.time().hour(), from.time().minute(), from.time().second())); from <= to;
         from = from.addSecs(1)) {
        QString time = locale.toString(from, locale.timeFormat(QLocale::LongFormat));
        if (!from.timeZoneAbbreviation().isEmpty()) time.remove(from.timeZoneAbbreviation());
        stamps << locale.toString(from.date(), QLocale::ShortFormat) + u' ' + time.trimmed();
    }
    return stamps;
}

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store::setProgramFolder(dir.path());
        store::globals().version = u"2.0.15"_s;
    }
    QString logFile() const { return dir.filePath(u"log/zov.log"_s); }

    // The file holds one line per message, in order, each stamped with a time between from and to.
    void expectLines(const QStringList &messages, const QDateTime &from, const QDateTime &to) const {
        const QString text = QString::fromUtf8(readBytes(logFile()));
        const QStringList stamps = possibleStamps(from, to);
        qsizetype at = 0;
        for (const QString &message : messages) {
            const QString tail = u" 2.0.15 "_s + message + u"\r\n"_s;
            const qsizetype end = text.indexOf(tail, at);
            ASSERT_GE(end, 0) << "no line for " << qPrintable(message) << " in " << qPrintable(text);
            EXPECT_TRUE(stamps.contains(text.mid(at, end - at)))
                << qPrintable(text.mid(at, end - at)) << " not among " << qPrintable(stamps.join(u" | "_s));
            at = end + tail.size();
        }
        EXPECT_EQ(at, text.size()) << qPrintable(text);
    }

    QTemporaryDir dir;
};

TEST_F(Log, FirstCallCreatesFolderAndFileWithOneLine) {
    const QDateTime from = QDateTime::currentDateTime();
    store::WriteLog(u"http://127.0.0.1/upload?c=004&v=1"_s);
    expectLines({u"http://127.0.0.1/upload?c=004&v=1"_s}, from, QDateTime::currentDateTime());
}

TEST_F(Log, LinesAppendInCallOrderWithControlAndFormatCharactersAsBlanks) {
    const QDateTime from = QDateTime::currentDateTime();
    store::WriteLog(u"first"_s);
    // A serial number from the network cannot forge a line of its own.
    store::WriteLog(u"Reset pip 1 E1\r\n2.0.15 forged\u0085\u2028\t\u0000\u00E4\u00F6\u00FC"_s);
    // Nor make one read otherwise: bidirectional overrides and isolates, zero-width and tag characters.
    store::WriteLog(u"E1\u202E\u2066\u200B\uFEFF\U000E0041\U0001F5A8"_s);
    store::WriteLog(QString());
    expectLines({u"first"_s, u"Reset pip 1 E1  2.0.15 forged    \u00E4\u00F6\u00FC"_s, u"E1     \U0001F5A8"_s,
                 QString()},
                from, QDateTime::currentDateTime());

    ASSERT_TRUE(QDir(dir.filePath(u"log"_s)).removeRecursively());
    const QDateTime again = QDateTime::currentDateTime();
    store::WriteLog(u"after the log was deleted"_s);
    expectLines({u"after the log was deleted"_s}, again, QDateTime::currentDateTime());
}

TEST_F(Log, LogThatCannotBeWrittenIsIgnored) {
    QFile(dir.filePath(u"afile"_s)).open(QIODevice::WriteOnly);
    store::setProgramFolder(dir.filePath(u"afile"_s)); // a folder below a file: cannot be made, even by root
    store::WriteLog(u"lost"_s);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"afile"_s});

    store::setProgramFolder(dir.path());
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"log/zov.log"_s)); // the log's name taken by a folder
    store::WriteLog(u"lost"_s);
    EXPECT_TRUE(QFileInfo(logFile()).isDir());
}

} // namespace
