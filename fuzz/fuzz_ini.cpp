// The settings file: any bytes read, every section and key they name read back, written and erased,
// and the text written read again.
#include "core/IniFile.h"

#include <QList>

#include <cstdint>
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

    // Writes of every kind, with values made of the text's own names.
    for (qsizetype i = 0; i < sections.size(); ++i) {
        const QString& key = keys[i % keys.size()];
        const QString value = sections[(i + 1) % sections.size()] + keys[(i + 2) % keys.size()];
        ini.write(sections[i], key, value, i % 2 ? pxt::IniFile::Kind::Text : pxt::IniFile::Kind::Number,
                  i % 3 ? pxt::IniFile::Trim::Yes : pxt::IniFile::Trim::No);
        ini.read(sections[i], key);
    }
    ini.eraseSection(sections.front());
    pxt::IniFile::fromBytes(ini.toBytes());
    return 0;
}
