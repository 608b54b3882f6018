#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace pxt {

// The settings file: a profile (INI) file of sections "[name]" and lines "key=value", read and written
// as 8-bit Latin-1 text with CR LF line ends (LF alone is read too). A file that must hold a character
// Latin-1 lacks is written as UTF-8 instead, and a file that is valid UTF-8 is read as such.
//
// Sections and keys are found without regard to case; when a name occurs twice the first one counts.
// Writing replaces an existing key in place, adds a new key at the end of its section and a new section
// at the end of the file; every other line of the file is kept as it was. Changes stay in memory until
// save(), which replaces the file as a whole, so a failed write leaves the old file intact.
class IniFile {
public:
    // Values of single properties lose leading and trailing blanks and control characters; the lines
    // of a list are kept as they are.
    enum class Trim { No, Yes };
    // Text values that are enclosed in quotes get one more pair of double quotes when written, because
    // reading removes one pair; numbers and flags are written as they are.
    enum class Kind { Number, Text };

    static constexpr qsizetype kMaxValueLength = 2047;
    // Only this much of the file is read (up to its last line break there); a settings file is a few
    // kilobytes, and it is read again at every show and close of a window. The rest is left out, and
    // said so once on standard error.
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // Reads the file. Reading never fails: a missing or unreadable file reads as empty.
    explicit IniFile(QString path);
    static IniFile fromBytes(const QByteArray& content);

    const QString& path() const { return m_path; }

    // The value of section/key, or nothing when the key is missing. One pair of enclosing double or
    // single quotes is removed and the value is cut to kMaxValueLength characters.
    std::optional<QString> read(QStringView section, QStringView key, Trim trim = Trim::Yes) const;
    bool hasSection(QStringView section) const;

    void write(const QString& section, const QString& key, const QString& value, Kind kind = Kind::Text,
               Trim trim = Trim::Yes);
    // Removes the section with all its lines (every section of that name).
    void eraseSection(QStringView section);

    // The file's text as save() writes it.
    QByteArray toBytes() const;
    // Replaces the file with toBytes() through a temporary file in the same folder. Throws Error
    // ("nach <path> kann nicht geschrieben werden") when that fails, and also when the file exists but
    // could not be read, so that a file that cannot be read is never replaced by a partial copy.
    void save() const;

    // Drops leading and trailing blanks and control characters.
    static QString trimmed(QStringView text);

private:
    IniFile() = default;
    void parse(const QByteArray& content);
    void rebuildSectionIndex();

    struct Line {
        QString text;
        qsizetype equals = -1; // position of the "=" of a key line
    };
    struct Section {
        QString name;
        QString header;
        std::vector<Line> lines;
        QHash<QString, qsizetype> keys; // folded key -> first line holding it
    };
    const Section* findSection(QStringView name) const;

    QString m_path;
    bool m_unreadable = false;
    std::vector<Line> m_preamble; // lines before the first section
    std::vector<Section> m_sections;
    QHash<QString, qsizetype> m_sectionIndex; // folded name -> first section of that name
};

} // namespace pxt
