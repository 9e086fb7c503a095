#include "inifile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {
namespace {

bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool holdsName(const QStringList &names, const QString &name) {
    return std::any_of(names.begin(), names.end(), [&](const QString &n) { return sameName(n, name); });
}

// "[name]" with blanks anywhere around; text after the first "]" is ignored, a missing "]" tolerated.
std::optional<QString> sectionName(const QString &line) {
    const QString text = line.trimmed();
    if (!text.startsWith(u'[')) return std::nullopt;
    const qsizetype close = text.indexOf(u']', 1);
    return text.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

// Position of the "=" of a key line; -1 for anything else (comments, section headers, lines without "=").
qsizetype equalsSign(const QString &line) {
    const QString text = line.trimmed();
    if (text.startsWith(u';') || text.startsWith(u'[')) return -1;
    return line.indexOf(u'=');
}

struct Span {
    qsizetype header, end; // the header's line and the line after the section's last one
};

std::optional<Span> findSection(const QStringList &lines, const QString &section) {
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name || !sameName(*name, section)) continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionName(lines[end])) ++end;
        return Span{i, end};
    }
    return std::nullopt;
}

// Line of key within the section, with the position of its "="; else -1 and the section's last key line (or the
// header), after which a new key belongs.
std::pair<qsizetype, qsizetype> findKey(const QStringList &lines, Span span, const QString &key) {
    qsizetype lastKey = span.header;
    for (qsizetype i = span.header + 1; i < span.end; ++i) {
        const qsizetype eq = equalsSign(lines[i]);
        if (eq < 0) continue;
        if (sameName(lines[i].left(eq).trimmed(), key)) return {i, eq};
        lastKey = i;
    }
    return {-1, lastKey};
}

// The new file takes over the old one's owner, group and mode, so that root writing a user's file (the command
// line run on the user's folder) leaves it the user's. Only root may give a file away: anyone else keeps the new file
// as their own, which is no failure, but a member of the file's group still gives it the group, which is what shares
// the file with the other members. The mode comes after the owner, whose change clears set-id bits.
void keepOwnerAndMode(int fd, const QString &path) {
    struct stat old {};
    if (::stat(QFile::encodeName(path).constData(), &old) != 0) return;
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int grouped = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    ::fchmod(fd, old.st_mode & 07777);
}

// Over the file itself, for a folder that takes no new file. The new length is reserved before any byte changes, so
// that a full disk fails the write with the old file whole; only a crash while writing can spoil it.
bool writeInPlace(const QString &path, const QByteArray &bytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const off_t size = bytes.size();
    bool written = size == 0 || ::posix_fallocate(fd, 0, size) == 0;
    for (off_t done = 0; written && done < size;) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size - done, done);
        if (n > 0) done += n;
        else written = n < 0 && errno == EINTR;
    }
    written = written && ::ftruncate(fd, size) == 0 && ::fsync(fd) == 0;
    return ::close(fd) == 0 && written;
}

// UTF-8 where the line is valid UTF-8, else Windows-1252: the code page in which the home platform's programs and
// editors wrote such files, one byte per character, so nothing is lost. Line by line, so that one line in the code
// page leaves the others as they are.
QString decodeLine(const QByteArray &line) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(line);
    if (!utf8.hasError()) return text;
    QStringDecoder windows1252("windows-1252", QStringDecoder::Flag::Stateless);
    return windows1252.isValid() ? windows1252.decode(line) : QString::fromLatin1(line); // Qt built without ICU
}

bool storableNames(const QString &section, const QString &key) {
    const auto hasLineBreak = [](const QString &text) { return text.contains(u'\n') || text.contains(u'\r'); };
    return !section.isEmpty() && !key.isEmpty() && !hasLineBreak(section) && !hasLineBreak(key) &&
           !section.contains(u']') && !key.contains(u'=') && !key.startsWith(u';') && !key.startsWith(u'[');
}

} // namespace

std::optional<IniFile> IniFile::load(const QString &path) {
    QFile file(path);
    if (!file.exists()) return IniFile();
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return parse(bytes);
}

IniFile IniFile::parse(const QByteArray &bytes) {
    qsizetype start = 0;
    while (bytes.sliced(start).startsWith("\xEF\xBB\xBF")) start += 3; // repeated marks too: a write must not add one
    QList<QByteArray> lines = bytes.sliced(start).split('\n');
    if (lines.last().isEmpty()) lines.removeLast(); // the last line's end, or an empty file

    IniFile file;
    for (QByteArray &line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        file.m_lines << decodeLine(line);
        file.m_bytes << line;
    }
    return file;
}

QStringList IniFile::sections() const {
    QStringList names;
    for (const QString &line : m_lines) {
        const auto name = sectionName(line);
        if (name && !holdsName(names, *name)) names << *name;
    }
    return names;
}

QStringList IniFile::repeatedSections() const {
    QStringList seen, repeated;
    for (const QString &line : m_lines) {
        const auto name = sectionName(line);
        if (!name) continue;
        if (!holdsName(seen, *name))
            seen << *name;
        else if (!holdsName(repeated, *name))
            repeated << *name;
    }
    return repeated;
}

QStringList IniFile::keys(const QString &section) const {
    QStringList names;
    const auto span = findSection(m_lines, section.trimmed());
    for (qsizetype i = span ? span->header + 1 : 0; span && i < span->end; ++i)
        if (const qsizetype eq = equalsSign(m_lines[i]); eq >= 0) names << m_lines[i].left(eq).trimmed();
    return names;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const {
    const auto span = findSection(m_lines, section.trimmed());
    if (!span) return std::nullopt;
    const auto [line, eq] = findKey(m_lines, *span, key.trimmed());
    if (line < 0) return std::nullopt;
    QString text = m_lines[line].mid(eq + 1).trimmed();
    // A value wrapped in matching quotes is read without them.
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front())
        text = text.mid(1, text.size() - 2);
    return text;
}

bool IniFile::setValue(const QString &section, const QString &key, const QString &value) {
    const QString sectionText = section.trimmed(), keyText = key.trimmed();
    if (!storableNames(sectionText, keyText)) return false;
    QString text = value;
    text.replace(u'\r', u' ').replace(u'\n', u' ');

    const auto span = findSection(m_lines, sectionText);
    if (!span) {
        insertLine(m_lines.size(), u'[' + sectionText + u']');
        insertLine(m_lines.size(), keyText + u'=' + text);
        return true;
    }
    const auto [line, at] = findKey(m_lines, *span, keyText);
    if (line >= 0)
        setLine(line, m_lines[line].left(at + 1) + text); // the key as the file spells it, and its spacing
    else
        insertLine(at + 1, keyText + u'=' + text);
    return true;
}

void IniFile::setLine(qsizetype at, const QString &text) {
    m_lines[at] = text;
    m_bytes[at] = text.toUtf8();
}

void IniFile::insertLine(qsizetype at, const QString &text) {
    m_lines.insert(at, text);
    m_bytes.insert(at, text.toUtf8());
}

QByteArray IniFile::serialize() const {
    QByteArray bytes;
    for (const QByteArray &line : m_bytes) bytes += line + "\r\n";
    return bytes;
}

bool IniFile::save(const QString &path) const { return writeFileAtomically(path, serialize()); }

QString changeStamp(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists()) return path;
    return QStringLiteral("%1|%2|%3|%4").arg(path).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.metadataChangeTime().toMSecsSinceEpoch());
}

QString setAside(const QString &path) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'hhmmss"));
    QString aside = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) aside = path + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    return QFile::rename(path, aside) ? aside : QString();
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes) {
    QSaveFile file(path);
    // Unbuffered: a buffered write that fails only when flushed at commit (disk full) would still be renamed
    // into place, truncated.
    // No temporary file beside it (a folder closed to new files: installed by root, the file handed to the user):
    // the file itself is written over.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return writeInPlace(path, bytes);
    keepOwnerAndMode(file.handle(), path);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace store
