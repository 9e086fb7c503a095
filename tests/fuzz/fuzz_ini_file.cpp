// Arbitrary bytes read as the settings file, as an editor or another program may leave it, in any mix of encodings.
// Written back, the file must read the same and keep its bytes; after one value is set, that value must read back
// and every other lookup must be unchanged.
#include "check.h"
#include "store/inifile.h"

#include <cstdint>

using fuzz::check;

namespace {

bool sameName(const QString &a, const QString &b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    store::IniFile file = store::IniFile::parse(bytes);
    const QByteArray written = file.serialize();
    check(store::IniFile::parse(written).lines() == file.lines());
    check(store::IniFile::parse(written).serialize() == written);

    // Names to look up: those the file spells itself (roughly; the reader decides what they really are), and ours.
    QStringList sections{QStringLiteral("Pips")}, keys{QStringLiteral("pip001")};
    for (const QString &line : file.lines()) {
        if (sections.size() + keys.size() >= 16) break;
        if (line.trimmed().startsWith(u'['))
            sections << line.trimmed().mid(1).section(u']', 0, 0);
        else if (line.contains(u'='))
            keys << line.section(u'=', 0, 0);
    }
    QList<std::optional<QString>> before;
    for (const QString &section : sections)
        for (const QString &key : keys) before << file.value(section, key);

    // A value that reads back as written: no line breaks (written as blanks), no surrounding blanks or quotes.
    const QString &section = sections[size % sections.size()], &key = keys[(size / 3) % keys.size()];
    QString value = file.lines().isEmpty() ? QString() : file.lines().last();
    value = value.replace(u'\r', u' ').replace(u'\n', u' ').trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')) value.append(u'x');
    if (!file.setValue(section, key, value)) {
        check(store::IniFile::parse(file.serialize()).lines() == store::IniFile::parse(bytes).lines());
        return 0;
    }

    const store::IniFile again = store::IniFile::parse(file.serialize());
    check(again.value(section, key) == value);
    qsizetype at = 0;
    for (const QString &s : sections)
        for (const QString &k : keys) {
            const auto now = again.value(s, k);
            if (!(sameName(s, section) && sameName(k, key))) check(now == before[at]);
            ++at;
        }
    return 0;
}
