#include "countermaps.h"

#include "platform/componentfactory.h"
#include "store/globals.h"
#include "store/inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace reading::countermaps {
namespace {

constexpr int Slots = 26;

const QRegularExpression &wholeOid() {
    static const QRegularExpression pattern(QStringLiteral("^[0-9]+(\\.[0-9]+)+$"));
    return pattern;
}

// The text before the first ";" of a value, and what follows it: the value's source.
std::pair<QString, QString> valueAndSource(const QString &text) {
    const qsizetype semicolon = text.indexOf(u';');
    if (semicolon < 0) return {text.trimmed(), QString()};
    return {text.left(semicolon).trimmed(), text.mid(semicolon + 1).trimmed()};
}

QStringList commaList(const QString &text) {
    QStringList items;
    for (const QString &item : valueAndSource(text).first.split(u','))
        if (!item.trimmed().isEmpty()) items << item.trimmed();
    return items;
}

// The maker and the model pattern of a section name "Maker" or "Maker | pattern".
std::pair<QString, QString> makerAndPattern(const QString &section) {
    const qsizetype bar = section.indexOf(u'|');
    if (bar < 0) return {section.trimmed(), QString()};
    return {section.left(bar).trimmed(), section.mid(bar + 1).trimmed()};
}

bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// A wildcard pattern (* any text, ? one character) as a regular expression for the whole text, letter case ignored.
QRegularExpression wildcard(const QString &pattern) {
    QString expression;
    for (const QChar c : pattern) {
        if (c == u'*') expression += QStringLiteral(".*");
        else if (c == u'?') expression += u'.';
        else expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
}

// The arc after 1.3.6.1.4.1 of an OID: the private enterprise number.
QString enterpriseOf(const QString &oid) {
    static const QRegularExpression enterprise(QStringLiteral("^\\.?1\\.3\\.6\\.1\\.4\\.1\\.([0-9]+)(\\.|$)"));
    return enterprise.match(oid.trimmed()).captured(1);
}

bool hasWord(const QString &text, const QString &word) {
    const QRegularExpression whole(QStringLiteral("(?<!\\w)%1(?!\\w)").arg(QRegularExpression::escape(word)),
                                   QRegularExpression::CaseInsensitiveOption);
    return whole.match(text).hasMatch();
}

} // namespace

QString Entry::name() const { return modelPattern.isEmpty() ? maker : maker + QStringLiteral(" | ") + modelPattern; }

std::optional<TableRow> tableRow(const QString &candidate) {
    static const QRegularExpression form(
        QStringLiteral("^([0-9]+(?:\\.[0-9]+)+)\\[([0-9]+(?:\\.[0-9]+)+)=(-?[0-9]+)\\]$"));
    const QRegularExpressionMatch match = form.match(candidate);
    if (!match.hasMatch()) return std::nullopt;
    return TableRow{match.captured(1), match.captured(2), match.captured(3)};
}

std::optional<PackedRecord> packedRecord(const QString &candidate) {
    static const QRegularExpression form(QStringLiteral("^([0-9]+(?:\\.[0-9]+)+)#([0-9A-Fa-f]{2})$"));
    const QRegularExpressionMatch match = form.match(candidate);
    if (!match.hasMatch()) return std::nullopt;
    return PackedRecord{match.captured(1), match.captured(2).toInt(nullptr, 16)};
}

std::optional<RowSum> rowSum(const QString &candidate) {
    static const QRegularExpression form(QStringLiteral("^SUM\\(([0-9]+(?:\\.[0-9]+)+)\\)\\[(.*)\\]$"));
    static const QRegularExpression filter(
        QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]+)+)=(-?[0-9]+(?:\\|-?[0-9]+)*)\\s*$"));
    const QRegularExpressionMatch match = form.match(candidate);
    if (!match.hasMatch()) return std::nullopt;
    RowSum sum{match.captured(1), {}};
    for (const QString &text : match.captured(2).split(QRegularExpression(QStringLiteral("[,;]")))) {
        const QRegularExpressionMatch part = filter.match(text);
        if (!part.hasMatch()) return std::nullopt;
        sum.filters.append({part.captured(1), part.captured(2).split(u'|')});
    }
    return sum;
}

bool isWholeOid(const QString &candidate) { return wholeOid().match(candidate).hasMatch(); }

bool isCandidate(const QString &candidate) {
    return isWholeOid(candidate) || tableRow(candidate) || packedRecord(candidate) || rowSum(candidate);
}

QString keyPointField(const QString &candidate) {
    const auto sum = rowSum(candidate);
    if (!sum) return candidate;
    QStringList filters;
    for (const auto &[column, numbers] : sum->filters) filters << column + u'=' + numbers.join(u'|');
    return QStringLiteral("SUM(%1)[%2]").arg(sum->valueColumn, filters.join(u';'));
}

QStringList splitCandidates(const QString &text) {
    QStringList candidates;
    QString current;
    int depth = 0;
    for (const QChar c : text) {
        if (c == u'[') ++depth;
        else if (c == u']' && depth > 0) --depth;
        if (c.isSpace() && depth == 0) {
            if (!current.isEmpty()) candidates << std::exchange(current, QString());
        } else {
            current += c;
        }
    }
    if (!current.isEmpty()) candidates << current;
    return candidates;
}

namespace {

// The slot a key names ("Slot1" to "Slot26"), else 0.
int slotOf(const QString &key) {
    static const QRegularExpression form(QStringLiteral("^slot([1-9][0-9]?)$"), QRegularExpression::CaseInsensitiveOption);
    const int slot = form.match(key).captured(1).toInt();
    return slot <= Slots ? slot : 0;
}

// One key of a section into its entry, or into what the entry leaves out.
void readKey(const store::IniFile &ini, const QString &section, const QString &key, Entry &entry) {
    const QString value = ini.value(section, key).value_or(QString());
    const bool recognition = sameName(key, QStringLiteral("Enterprise")) || sameName(key, QStringLiteral("Words"));
    if (recognition && !entry.modelPattern.isEmpty()) {
        entry.leftOut << key + QStringLiteral(": recognition keys are read only in the maker's plain entry [") +
                             entry.maker + u']';
    } else if (recognition) {
        (sameName(key, QStringLiteral("Enterprise")) ? entry.enterprises : entry.words) = commaList(value);
    } else if (const int slot = slotOf(key)) {
        const auto [candidates, source] = valueAndSource(value);
        Slot found{{}, source};
        for (const QString &candidate : splitCandidates(candidates)) {
            if (isCandidate(candidate)) found.candidates << candidate;
            else entry.leftOut << key + QStringLiteral(": \"") + candidate + QStringLiteral("\" is no candidate");
        }
        if (!found.candidates.isEmpty()) entry.counters.insert(slot, found);
    } else {
        entry.leftOut << key + QStringLiteral(": not a key of a counter map (Enterprise, Words, Slot1 to Slot26)");
    }
}

} // namespace

QList<Entry> parse(const QByteArray &bytes, const QString &file) {
    const store::IniFile ini = store::IniFile::parse(bytes);
    const QStringList repeated = ini.repeatedSections();
    const QString later = QStringLiteral("a later section of the same name is not read");
    QList<Entry> entries;
    for (const QString &section : ini.sections()) {
        if (section.startsWith(SuppliesPrefix, Qt::CaseInsensitive)) continue;
        Entry entry;
        std::tie(entry.maker, entry.modelPattern) = makerAndPattern(section);
        const auto earlier = std::find_if(entries.begin(), entries.end(),
                                          [&](const Entry &other) { return sameName(other.name(), entry.name()); });
        if (entry.maker.isEmpty()) continue;
        if (earlier != entries.end()) {
            earlier->leftOut << later;
            continue;
        }
        entry.file = file;
        for (const QString &key : ini.keys(section)) readKey(ini, section, key, entry);
        if (repeated.contains(section, Qt::CaseInsensitive)) entry.leftOut << later;
        entries << entry;
    }
    return entries;
}

void merge(QList<Entry> &entries, const QList<Entry> &later) {
    for (Entry entry : later) {
        const auto same = std::find_if(entries.begin(), entries.end(),
                                       [&](const Entry &earlier) { return sameName(earlier.name(), entry.name()); });
        if (same == entries.end()) {
            entries << entry;
            continue;
        }
        entry.overrides = same->file;
        if (entry.modelPattern.isEmpty() && entry.enterprises.isEmpty() && entry.words.isEmpty()) {
            entry.enterprises = same->enterprises;
            entry.words = same->words;
            entry.keysFrom = same->keysFrom.isEmpty() ? same->file : same->keysFrom;
        }
        *same = entry;
    }
}

namespace {

// A supplies section's column number, or 0 with why in leftOut.
int columnOf(const QString &value, const QString &key, QStringList &leftOut) {
    bool ok = false;
    const int column = valueAndSource(value).first.toInt(&ok);
    if (ok && column > 0) return column;
    leftOut << key + QStringLiteral(": \"") + valueAndSource(value).first + QStringLiteral("\" is no column number");
    return 0;
}

// "N name, N name, ...": the names of a column's numbers.
QMap<int, QString> namedNumbers(const QString &value, const QString &key, QStringList &leftOut) {
    QMap<int, QString> names;
    static const QRegularExpression form(QStringLiteral("^(-?[0-9]+)\\s+(.+)$"));
    for (const QString &item : commaList(value)) {
        const QRegularExpressionMatch match = form.match(item);
        if (match.hasMatch()) names.insert(match.captured(1).toInt(), match.captured(2).trimmed());
        else leftOut << key + QStringLiteral(": \"") + item + QStringLiteral("\" is no number and name");
    }
    return names;
}

SupplyTable supplyTableOf(const store::IniFile &ini, const QString &section, const QString &file) {
    SupplyTable table;
    table.maker = section.mid(SuppliesPrefix.size()).trimmed();
    table.file = file;
    const std::pair<QString, int SupplyTable::*> columns[] = {
        {QStringLiteral("Description"), &SupplyTable::description}, {QStringLiteral("Serial"), &SupplyTable::serial},
        {QStringLiteral("PartNumber"), &SupplyTable::partNumber},
        {QStringLiteral("CartridgeType"), &SupplyTable::cartridgeType},
        {QStringLiteral("PagesAtInstall"), &SupplyTable::pagesAtInstall}};
    for (const QString &key : ini.keys(section)) {
        const QString value = ini.value(section, key).value_or(QString());
        const auto column = std::find_if(std::begin(columns), std::end(columns),
                                         [&](const auto &named) { return sameName(named.first, key); });
        if (sameName(key, QStringLiteral("Table"))) {
            table.table = valueAndSource(value).first;
            if (!isWholeOid(table.table)) {
                table.leftOut << QStringLiteral("Table: \"") + table.table + QStringLiteral("\" is no whole OID");
                table.table.clear();
            }
        } else if (column != std::end(columns)) {
            table.*(column->second) = columnOf(value, key, table.leftOut);
        } else if (sameName(key, QStringLiteral("CartridgeTypes"))) {
            table.cartridgeTypes = namedNumbers(value, key, table.leftOut);
        } else {
            table.leftOut << key + QStringLiteral(": not a key of a supplies table (Table, Description, Serial, "
                                                  "PartNumber, CartridgeType, CartridgeTypes, PagesAtInstall)");
        }
    }
    return table;
}

} // namespace

QList<SupplyTable> parseSupplyTables(const QByteArray &bytes, const QString &file) {
    const store::IniFile ini = store::IniFile::parse(bytes);
    QList<SupplyTable> tables;
    for (const QString &section : ini.sections()) {
        if (!section.startsWith(SuppliesPrefix, Qt::CaseInsensitive)) continue;
        SupplyTable table = supplyTableOf(ini, section, file);
        if (table.maker.isEmpty()) continue;
        if (table.table.isEmpty()) table.leftOut << QStringLiteral("no whole Table OID: the section is not read");
        const bool repeated = std::any_of(tables.begin(), tables.end(), [&](const SupplyTable &earlier) {
            return sameName(earlier.maker, table.maker);
        });
        if (repeated) continue; // the first section of a name is read, as in any ini file
        tables << table;
    }
    return tables;
}

const SupplyTable *supplyTableOf(const QList<SupplyTable> &tables, const QString &maker) {
    for (const SupplyTable &table : tables)
        if (sameName(table.maker, maker) && !table.table.isEmpty()) return &table;
    return nullptr;
}

QStringList problemsOf(const QList<Entry> &entries, const QList<SupplyTable> &supplyTables) {
    QStringList problems;
    for (const SupplyTable &table : supplyTables)
        for (const QString &leftOut : table.leftOut)
            problems << table.file + QStringLiteral(" [") + SuppliesPrefix + table.maker + QStringLiteral("]: ") +
                            leftOut + QStringLiteral(", left out");
    for (const Entry &entry : entries) {
        const QString where = entry.file + QStringLiteral(" [") + entry.name() + QStringLiteral("]: ");
        for (const QString &leftOut : entry.leftOut) problems << where + leftOut + QStringLiteral(", left out");
        if (entry.modelPattern.isEmpty() && entry.enterprises.isEmpty() && entry.words.isEmpty())
            problems << where + QStringLiteral("no Enterprise or Words: no printer is recognised by it");
    }
    return problems;
}

QStringList searchedFiles() {
    const QDir programs(platform::libraryFolder());
    QString share = programs.filePath(FileName);
    if (!QFileInfo::exists(share))
        share = QDir::cleanPath(programs.absoluteFilePath(QStringLiteral(METERLANE_SHARE_FOLDER "/") + FileName));
    return {share, QDir(store::systemFolder()).filePath(FileName),
            QDir(store::globals().programFolder).filePath(FileName)};
}

namespace {

// Each file as it stands (path, size, last change), so that a file is parsed again only after it changed.
QStringList stampsOf(const QStringList &paths) {
    QStringList stamps;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        stamps << path + u'|' + QString::number(info.size()) + u'|' +
                      QString::number(info.lastModified().toMSecsSinceEpoch()) + u'|' +
                      QString::number(info.metadataChangeTime().toMSecsSinceEpoch());
    }
    return stamps;
}

} // namespace

Maps load() {
    // Every key point search asks: parsing the files each time would cost more than the search's own requests.
    static QStringList loadedStamps;
    static Maps loaded;
    const QStringList files = searchedFiles(), stamps = stampsOf(files);
    if (stamps == loadedStamps) return loaded;
    Maps maps;
    QStringList seen; // a portable copy's program folder is also its share folder: read once
    for (const QString &path : files) {
        const QFileInfo info(path);
        if (!info.exists() || seen.contains(info.canonicalFilePath())) continue;
        seen << info.canonicalFilePath();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            maps.unreadable << path;
            continue;
        }
        const QByteArray bytes = file.readAll();
        merge(maps.entries, parse(bytes, path));
        for (const SupplyTable &table : parseSupplyTables(bytes, path)) {
            const auto same =
                std::find_if(maps.supplyTables.begin(), maps.supplyTables.end(),
                             [&](const SupplyTable &earlier) { return sameName(earlier.maker, table.maker); });
            if (same == maps.supplyTables.end()) maps.supplyTables << table;
            else *same = table;
        }
        maps.read << path;
    }
    loadedStamps = stamps;
    loaded = maps;
    return maps;
}

const Entry *makerOf(const QList<Entry> &entries, const QString &sysObjectId,
                     const std::function<QString()> &sysDescr) {
    const QString enterprise = enterpriseOf(sysObjectId);
    for (const Entry &entry : entries)
        if (entry.modelPattern.isEmpty() && !enterprise.isEmpty() && entry.enterprises.contains(enterprise))
            return &entry;
    const QString description = sysDescr();
    for (const Entry &entry : entries)
        for (const QString &word : entry.words)
            if (entry.modelPattern.isEmpty() && hasWord(description, word)) return &entry;
    return nullptr;
}

bool hasModelEntries(const QList<Entry> &entries, const QString &maker) {
    return std::any_of(entries.begin(), entries.end(), [&](const Entry &entry) {
        return !entry.modelPattern.isEmpty() && sameName(entry.maker, maker);
    });
}

const Entry *entryFor(const QList<Entry> &entries, const Entry &maker, const QString &model) {
    for (const Entry &entry : entries)
        if (!entry.modelPattern.isEmpty() && sameName(entry.maker, maker.maker) &&
            wildcard(entry.modelPattern).match(model).hasMatch())
            return &entry;
    return &maker;
}

} // namespace reading::countermaps
