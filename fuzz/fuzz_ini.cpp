// The settings file: any bytes read, every section and key they name read back, written and erased,
// and the text written read again.
#include "core/IniFile.h"

#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The section names ("[name]") and keys ("key=") the text names, a few of each.
void namesIn(const QString& text, QStringList& sections, QStringList& keys)
{
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (sections.size() + keys.size() >= 32)
            break;
        const qsizetype close = line.indexOf(QLatin1Char(']'));
        if (line.startsWith(QLatin1Char('[')) && close > 0)
            sections << line.mid(1, close - 1);
        else if (const qsizetype eq = line.indexOf(QLatin1Char('=')); eq >= 0)
            keys << line.left(eq);
    }
    sections << QString() << QStringLiteral("Options");
    keys << QString() << QStringLiteral("Key");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    pxt::IniFile ini = pxt::IniFile::fromBytes(bytes);

    QStringList sections;
    QStringList keys;
    namesIn(QString::fromLatin1(bytes), sections, keys);
    for (const QString& section : sections) {
        ini.hasSection(section);
        for (const QString& key : keys) {
            ini.read(section, key, pxt::IniFile::Trim::Yes);
            ini.read(section, key, pxt::IniFile::Trim::No);
        }
    }

    // What is read stays as it was through a write and a read of the whole file.
    const QByteArray written = ini.toBytes();
    const pxt::IniFile again = pxt::IniFile::fromBytes(written);
    for (const QString& section : sections) {
        for (const QString& key : keys) {
            if (ini.read(section, key, pxt::IniFile::Trim::No) != again.read(section, key, pxt::IniFile::Trim::No))
                std::abort();
        }
    }

    // Writes of every kind under the program's kind of names, the values being the text's own lines.
    static const QStringList writtenSections = {QStringLiteral("Options"), QStringLiteral("Filters")};
    static const QStringList writtenKeys = {QStringLiteral("Path"), QStringLiteral("Item0"), QStringLiteral("Key")};
    const QStringList lines = QString::fromLatin1(bytes.left(4096)).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size() && i < 16; ++i) {
        const QString& section = writtenSections[i % writtenSections.size()];
        const QString& key = writtenKeys[i % writtenKeys.size()];
        ini.write(section, key, lines[i], i % 2 ? pxt::IniFile::Kind::Text : pxt::IniFile::Kind::Number,
                  i % 3 ? pxt::IniFile::Trim::Yes : pxt::IniFile::Trim::No);
        ini.read(section, key);
    }
    sections << writtenSections;
    keys << writtenKeys;
    ini.eraseSection(sections.front());
    const pxt::IniFile changed = pxt::IniFile::fromBytes(ini.toBytes());
    for (const QString& section : sections) {
        for (const QString& key : keys) {
            if (ini.read(section, key) != changed.read(section, key)) {
                std::fprintf(stderr, "[%s] %s: \"%s\" read back as \"%s\"\n", qPrintable(section), qPrintable(key),
                             qPrintable(ini.read(section, key).value_or("(none)")),
                             qPrintable(changed.read(section, key).value_or("(none)")));
                std::abort();
            }
        }
    }
    return 0;
}
