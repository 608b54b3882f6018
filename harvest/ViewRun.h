#pragma once

#include "harvest/LinkAnswers.h"
#include "harvest/PictureSource.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace pxt {

class BrowserSession;
class Document;
class Settings;

// The collection of a view run, without any window: the selected links become the pictures of a view
// page. Picture links (by their name) are taken as they are; a page link is loaded by the viewer and
// its pictures (every image that is not shaped like a banner) are taken from its document, each with
// its page as Referer for the session. Where the server's answer for a link is known (LinkAnswers),
// it decides rather than the name; a web link named like a picture whose answer is not known yet is
// asked about first (linkToAsk).
class ViewRun {
public:
    explicit ViewRun(const Settings& settings) : m_settings(settings) {}

    // The session that learns where each picture was found; null: none.
    void setSession(BrowserSession* session) { m_session = session; }
    // What the servers answered for links; null: the names alone decide, and nothing is asked.
    void setLinkAnswers(LinkAnswers* answers) { m_answers = answers; }

    // The values of the document's checked inputs, in document order: the selected links.
    static QStringList selectedLinks(const Document& doc);

    // A new run over the links; singleLink: one clicked thumbnail rather than a selection.
    void start(const QStringList& links, bool singleLink);
    // Takes the picture links from the position on and stops at the next page link, which the viewer
    // loads; empty when the run has taken every link, or stops at a link to ask about first.
    QString nextPage();
    // The link nextPage stopped at because its server's answer must be known first; empty for none.
    QString linkToAsk() const { return m_toAsk; }
    // What the server answered for that link (Unknown when no answer came: its name then decides).
    void answered(const QString& link, LinkAnswers::Kind kind);
    // The page nextPage gave has loaded: its pictures are taken and the run moves past it. A page whose
    // document could not be read (null) counts as one without pictures.
    void takePage(const Document* doc);
    bool atEnd() const { return m_position >= m_links.size(); }

    // Writes the view page of the pictures under the head into the first downloadN.html not yet there,
    // counting from the run's start; returns its path. Throws Error.
    QString writeViewPage(const QString& head);

    const QStringList& links() const { return m_links; }
    const QStringList& pictures() const { return m_pictures; }
    // The pictures with the page each was found on (none for a picture link: the session knows it),
    // for saving them into a folder.
    QList<PictureToSave> picturesToSave() const;
    qsizetype position() const { return m_position; }
    bool singleLink() const { return m_singleLink; }
    // The last link taken was a page (not a picture).
    bool lastWasPage() const { return m_lastWasPage; }

private:
    const Settings& m_settings;
    BrowserSession* m_session = nullptr;
    LinkAnswers* m_answers = nullptr;
    QString m_toAsk;
    QSet<QString> m_asked;
    QStringList m_links;
    QStringList m_pictures;
    QStringList m_pages; // beside m_pictures: the page each came from, empty for a picture link
    qsizetype m_position = 0;
    int m_pageNumber = 1;
    bool m_singleLink = false;
    bool m_lastWasPage = false;
};

} // namespace pxt
