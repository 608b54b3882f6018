#include "harvest/ViewRun.h"

#include "core/ProgramFiles.h"
#include "core/WebAddress.h"
#include "dom/Document.h"
#include "harvest/LinkHelpers.h"
#include "http/BrowserSession.h"
#include "pages/PageText.h"
#include "pages/ViewPage.h"
#include "settings/Settings.h"

#include <QFile>

namespace pxt {

QStringList ViewRun::selectedLinks(const Document& doc)
{
    QStringList links;
    const std::vector<Element*>& all = doc.all();
    for (size_t i = 0, n = all.size(); i < n; ++i) {
        const Element* e = all[i];
        if (e->tagName() == QLatin1String("INPUT") && e->status())
            links.append(e->value());
    }
    return links;
}

void ViewRun::start(const QStringList& links, bool singleLink)
{
    m_links = links;
    m_pictures.clear();
    m_pages.clear();
    m_position = 0;
    m_pageNumber = 1;
    m_singleLink = singleLink;
    m_lastWasPage = false;
    m_toAsk.clear();
    m_asked.clear();
}

QString ViewRun::nextPage()
{
    m_toAsk.clear();
    while (m_position < m_links.size()) {
        const QString& link = m_links.at(m_position);
        bool picture = matchesFileType(linkFileName(link), m_settings);
        const LinkAnswers::Kind kind = m_answers ? m_answers->kind(link) : LinkAnswers::Kind::Unknown;
        if (picture && kind == LinkAnswers::Kind::Unknown && m_answers && !m_asked.contains(link)
            && isWebAddress(QUrl(link))) {
            m_toAsk = link;
            return {};
        }
        if (kind != LinkAnswers::Kind::Unknown)
            picture = kind == LinkAnswers::Kind::Picture;
        if (!picture) {
            m_lastWasPage = true;
            return link;
        }
        m_lastWasPage = false;
        m_pictures.append(link);
        m_pages.append(QString());
        ++m_position;
    }
    return {};
}

void ViewRun::answered(const QString& link, LinkAnswers::Kind kind)
{
    m_asked.insert(link);
    if (m_answers)
        m_answers->note(link, kind);
    if (m_toAsk == link)
        m_toAsk.clear();
}

void ViewRun::takePage(const Document* doc)
{
    if (doc) {
        const double ratio = m_settings.bannerRatio();
        const ReferrerPolicy pagePolicy = m_session ? documentReferrerPolicy(*doc) : ReferrerPolicy::Unset;
        const std::vector<Element*>& all = doc->all();
        for (size_t i = 0, n = all.size(); i < n; ++i) {
            const Element* e = all[i];
            if (e->tagName() == QLatin1String("IMG") && !isBanner(e->width(), e->height(), ratio)) {
                m_pictures.append(e->href());
                m_pages.append(doc->url());
                if (m_session)
                    m_session->addReferer(e->href(), doc->url(), imageReferrerPolicy(*e, pagePolicy));
            }
        }
    }
    ++m_position;
}

QList<PictureToSave> ViewRun::picturesToSave() const
{
    QList<PictureToSave> pictures;
    pictures.reserve(m_pictures.size());
    for (qsizetype i = 0; i < m_pictures.size(); ++i)
        pictures.append({QUrl(m_pictures.at(i)), QUrl(m_pages.at(i))});
    return pictures;
}

QString ViewRun::writeViewPage(const QString& head)
{
    const PageLines lines = viewPage(m_pictures, head);
    QString path = ProgramFiles::viewPage(m_pageNumber);
    while (QFile::exists(path)) {
        ++m_pageNumber;
        path = ProgramFiles::viewPage(m_pageNumber);
    }
    writeProgramPage(path, lines);
    return path;
}

} // namespace pxt
