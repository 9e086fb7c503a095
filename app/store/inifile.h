// An ini file held as its lines, read and changed the way the program's settings file has always been handled:
// section and key names match without regard to case, the first of duplicate sections or keys wins, and a change
// touches only the one line it concerns, the others keep their bytes. Written back with CR LF line ends, the lines
// a write changed or added as UTF-8, atomically.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace store {

class IniFile {
public:
    // The file's lines; an empty file when none exists at path. Nothing when a file exists but cannot be read, so
    // that a writer never replaces a file it could not see.
    static std::optional<IniFile> load(const QString &path);
    // Bytes as found on disk: each line UTF-8 where it is valid UTF-8, else Windows-1252; with or without BOM; LF
    // or CR LF line ends.
    static IniFile parse(const QByteArray &bytes);

    // The names of the sections in file order, each once (the first of sections of the same name is the one read).
    QStringList sections() const;
    // The names that head more than one section, in any letter case, each once in file order.
    QStringList repeatedSections() const;
    // The keys of the first section named section, in file order, each as the file spells it.
    QStringList keys(const QString &section) const;
    // The value of key in the first section named section; nothing when either is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Replaces the key's value in place, or adds the key (and its section) when missing. Line breaks in value are
    // written as blanks, so a value never adds lines. False, and nothing changed, for names that an ini line cannot
    // hold (empty, line breaks, "=" in a key, "]" in a section, a key starting with ";" or "[").
    bool setValue(const QString &section, const QString &key, const QString &value);

    QByteArray serialize() const;
    // Atomic: a temporary file renamed over path; in place when the folder takes no new file but the file may be
    // written, its new length reserved first. The file keeps its owner, group and mode where the process may give
    // them. A missing folder is a failure; on failure path is untouched (in place, a crash while writing aside).
    bool save(const QString &path) const;

    const QStringList &lines() const { return m_lines; }

private:
    void setLine(qsizetype at, const QString &text);
    void insertLine(qsizetype at, const QString &text);

    QStringList m_lines;
    QList<QByteArray> m_bytes; // each line's bytes: as read, or UTF-8 once a write changed or added it
};

// Writes bytes to path as IniFile::save writes a file: atomically, in place when the folder takes no new file, with
// the old file's owner, group and mode.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);

// What tells a settings file read again from the one in memory: its path, size, modification and status change
// times; the path alone while it is missing.
QString changeStamp(const QString &path);

// Moves a file that cannot be used aside, beside it under a name of its own ("PATH.corrupt-20261209T101500"), so that
// what it holds is not lost. The name it went under; the empty text when it could not be moved.
QString setAside(const QString &path);

} // namespace store
