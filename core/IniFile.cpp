#include "core/IniFile.h"

#include "core/Error.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace pxt {

namespace {

bool isBlank(QChar c) { return c.unicode() <= 0x20; }

QString fold(QStringView name) { return IniFile::trimmed(name).toCaseFolded(); }

bool enclosedInQuotes(QStringView v)
{
    if (v.size() < 2)
        return false;
    const QChar first = v.front();
    return (first == u'"' || first == u'\'') && v.back() == first;
}

// A line break inside a value would start a new line of the file and could forge keys or sections.
QString oneLine(QString v)
{
    for (QChar& c : v)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    return v;
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (QFileInfo(m_path).isDir() || !file.open(QIODevice::ReadOnly)) {
        m_unreadable = true;
        return;
    }
    QByteArray content = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        m_unreadable = true;
        return;
    }
    if (content.size() > kMaxFileBytes) {
        content.truncate(qsizetype(kMaxFileBytes));
        const qsizetype lineEnd = content.lastIndexOf('\n');
        content.truncate(lineEnd < 0 ? 0 : lineEnd + 1);
        static std::atomic<bool> said{false};
        if (!said.exchange(true))
            std::fprintf(stderr, "pixtrawl: %s is larger than %lld bytes; the rest of it is ignored.\n",
                         qPrintable(QDir::toNativeSeparators(m_path)), static_cast<long long>(kMaxFileBytes));
    }
    parse(content);
}

IniFile IniFile::fromBytes(const QByteArray& content)
{
    IniFile ini;
    ini.parse(content);
    return ini;
}

QString IniFile::trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin).toString();
}

namespace {
// A file holds UTF-8 only when it was written with a character that Latin-1 lacks; Latin-1 text with
// letters above 127 is hardly ever valid UTF-8.
bool isUtf8(const QByteArray& content)
{
    if (std::all_of(content.cbegin(), content.cend(), [](char c) { return uchar(c) < 0x80; }))
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(decoder(content));
    return !decoder.hasError();
}
} // namespace

void IniFile::parse(const QByteArray& content)
{
    const bool utf8 = isUtf8(content);
    Section* current = nullptr;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const qsizetype next = end < 0 ? content.size() : end + 1;
        if (end < 0)
            end = content.size();
        if (end > start && content[end - 1] == '\r')
            --end;
        const QByteArrayView bytes(content.constData() + start, end - start);
        Line line{utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes)};
        start = next;

        qsizetype first = 0;
        while (first < line.text.size() && isBlank(line.text[first]))
            ++first;
        if (first < line.text.size() && line.text[first] == u'[') {
            qsizetype close = line.text.indexOf(u']', first + 1);
            if (close < 0)
                close = line.text.size();
            Section section;
            section.name = trimmed(QStringView(line.text).mid(first + 1, close - first - 1));
            section.header = std::move(line.text);
            m_sections.push_back(std::move(section));
            current = &m_sections.back();
            continue;
        }
        if (!current) {
            m_preamble.push_back(std::move(line));
            continue;
        }
        const qsizetype eq = line.text.indexOf(u'=');
        if (eq >= 0) {
            const QString key = fold(QStringView(line.text).left(eq));
            if (!key.isEmpty()) {
                line.equals = eq;
                if (!current->keys.contains(key)) // the first of duplicate keys counts
                    current->keys.insert(key, current->lines.size());
            }
        }
        current->lines.push_back(std::move(line));
    }
    rebuildSectionIndex();
}

void IniFile::rebuildSectionIndex()
{
    m_sectionIndex.clear();
    for (qsizetype i = 0; i < qsizetype(m_sections.size()); ++i) {
        const QString name = m_sections[i].name.toCaseFolded();
        if (!m_sectionIndex.contains(name))
            m_sectionIndex.insert(name, i);
    }
}

const IniFile::Section* IniFile::findSection(QStringView name) const
{
    const auto it = m_sectionIndex.constFind(fold(name));
    return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[*it];
}

bool IniFile::hasSection(QStringView section) const { return findSection(section) != nullptr; }

std::optional<QString> IniFile::read(QStringView section, QStringView key, Trim trim) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    const auto it = s->keys.constFind(fold(key));
    if (it == s->keys.constEnd())
        return std::nullopt;
    const Line& line = s->lines[*it];
    QStringView value = QStringView(line.text).mid(line.equals + 1);
    QString trimmedValue;
    if (trim == Trim::Yes) {
        trimmedValue = trimmed(value);
        value = trimmedValue;
    }
    if (enclosedInQuotes(value))
        value = value.mid(1, value.size() - 2);
    QString result = value.left(kMaxValueLength).toString();
    return trim == Trim::Yes ? trimmed(result) : result;
}

void IniFile::write(const QString& section, const QString& key, const QString& value, Kind kind, Trim trim)
{
    QString v = oneLine(trim == Trim::Yes ? trimmed(value) : value);
    if (kind == Kind::Text && enclosedInQuotes(v))
        v = u'"' + v + u'"';
    const QString name = trimmed(key);
    Line line{name + u'=' + v, name.size()};

    const QString folded = fold(section);
    auto sit = m_sectionIndex.constFind(folded);
    if (sit == m_sectionIndex.constEnd()) {
        Section s;
        s.name = trimmed(section);
        s.header = u'[' + s.name + u']';
        m_sections.push_back(std::move(s));
        sit = m_sectionIndex.insert(folded, m_sections.size() - 1);
    }
    Section& s = m_sections[*sit];
    const QString foldedKey = name.toCaseFolded();
    const auto kit = s.keys.constFind(foldedKey);
    if (kit != s.keys.constEnd()) {
        s.lines[*kit] = std::move(line);
        return;
    }
    s.keys.insert(foldedKey, s.lines.size());
    s.lines.push_back(std::move(line));
}

void IniFile::eraseSection(QStringView section)
{
    const QString folded = fold(section);
    std::erase_if(m_sections, [&](const Section& s) { return s.name.toCaseFolded() == folded; });
    rebuildSectionIndex();
}

QByteArray IniFile::toBytes() const
{
    const auto forEachLine = [this](const auto& f) {
        for (const Line& l : m_preamble)
            f(l.text);
        for (const Section& s : m_sections) {
            f(s.header);
            for (const Line& l : s.lines)
                f(l.text);
        }
    };
    // Latin-1 as long as every character has a place in it, so that nothing is lost; UTF-8 otherwise.
    bool latin1 = true;
    forEachLine([&latin1](const QString& text) {
        latin1 = latin1 && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xff; });
    });
    const auto write = [&forEachLine](bool asLatin1) {
        QByteArray out;
        forEachLine([&out, asLatin1](const QString& text) {
            out += asLatin1 ? text.toLatin1() : text.toUtf8();
            out += "\r\n";
        });
        return out;
    };
    const QByteArray out = write(latin1);
    // Latin-1 bytes that happen to be valid UTF-8 ("Ã©") would be read back as other text ("é").
    if (latin1 && isUtf8(out))
        return write(false);
    return out;
}

void IniFile::save() const
{
    const Error failure(QStringLiteral("nach %1 kann nicht geschrieben werden").arg(m_path));
    if (m_unreadable)
        throw failure;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        throw failure;
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw failure;
}

} // namespace pxt
