#pragma once

#include <QHash>
#include <QString>

namespace pxt {

// What the servers answered for links: a picture or a page, by the media type of their reply. The
// size probe learns it as it asks; the view run asks it, so that a link named like a picture that
// answers with a page is loaded as the page it is, and one named otherwise that answers with a
// picture is taken as the picture.
class LinkAnswers {
public:
    enum class Kind { Unknown, Picture, Page };

    // The media type of a Content-Type value: lower case, without its parameters.
    static QString mediaType(const QString& contentType);
    // image/... is a picture, text/html and application/xhtml+xml a page; anything else tells nothing.
    static Kind kindOfType(const QString& contentType);

    void note(const QString& link, Kind kind);
    Kind kind(const QString& link) const { return m_kinds.value(link, Kind::Unknown); }
    void clear() { m_kinds.clear(); }

private:
    QHash<QString, Kind> m_kinds;
};

} // namespace pxt
