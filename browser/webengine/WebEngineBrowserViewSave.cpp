// The view's Save As: the dialog, the engine's save of the page and the report of its outcome.

#include "browser/webengine/WebEngineBrowserView.h"

#include "browser/webengine/WebEnginePage.h"
#include "core/Error.h"
#include "core/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace pxt {

namespace {

QString lastSaveFolder;

QString defaultSaveFolder()
{
    if (!lastSaveFolder.isEmpty() && QFileInfo(lastSaveFolder).isDir())
        return lastSaveFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

constexpr int kSaveStartMs = 10000;

QString suffixFor(WebEngineBrowserView::SaveFormat format)
{
    return format == QWebEngineDownloadRequest::MimeHtmlSaveFormat ? QStringLiteral("mhtml")
                                                                    : QStringLiteral("html");
}

} // namespace

QString WebEngineBrowserView::completePageFilter() { return QStringLiteral("Web page, complete (*.html *.htm)"); }
QString WebEngineBrowserView::htmlOnlyFilter() { return QStringLiteral("Web page, HTML only (*.html *.htm)"); }
QString WebEngineBrowserView::webArchiveFilter() { return QStringLiteral("Web archive (*.mhtml *.mht)"); }

QString WebEngineBrowserView::suggestedFileName(SaveFormat format) const
{
    QString name = m_page ? m_page->title().simplified() : QString();
    const QUrl url = m_page ? m_page->url() : QUrl();
    // The engine shows the address as the title of a page that has none.
    if (name.isEmpty() || name == url.toString() || name == url.toDisplayString())
        name = QFileInfo(url.path()).completeBaseName();
    for (QChar& c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    name = name.left(100).trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("page");
    return name + QLatin1Char('.') + suffixFor(format);
}

bool WebEngineBrowserView::chooseSaveTarget(QString* path, SaveFormat* format)
{
    const QStringList filters{completePageFilter(), htmlOnlyFilter(), webArchiveFilter()};
    const SaveFormat formats[] = {QWebEngineDownloadRequest::CompleteHtmlSaveFormat,
                                  QWebEngineDownloadRequest::SingleHtmlSaveFormat,
                                  QWebEngineDownloadRequest::MimeHtmlSaveFormat};
    QStringList suffixes;
    for (SaveFormat f : formats)
        suffixes << suffixFor(f);
    int i = 0;
    if (!m_dialogs.saveFileName(m_view ? m_view->window() : nullptr, defaultSaveFolder(),
                                suggestedFileName(formats[0]), filters, suffixes, path, &i))
        return false;
    *format = formats[i >= 0 && i < int(std::size(formats)) ? i : 0];
    lastSaveFolder = QFileInfo(*path).absolutePath();
    return true;
}

void WebEngineBrowserView::saveAs()
{
    if (!m_page)
        return;
    if (isSaving())
        throw Error(QStringLiteral("The page is still being saved as \"%1\".").arg(m_savePath));
    if (m_page->url().isEmpty())
        throw Error(QStringLiteral("There is no page to save."));
    QString path;
    SaveFormat format = QWebEngineDownloadRequest::CompleteHtmlSaveFormat;
    const QPointer<WebEngineBrowserView> self = this;
    if (!chooseSaveTarget(&path, &format) || !self)
        return;
    saveTo(path, format);
}

void WebEngineBrowserView::saveTo(const QString& path, SaveFormat format)
{
    if (!m_page)
        throw Error(QStringLiteral("The browser view is closed: there is no page to save."));
    if (isSaving())
        throw Error(QStringLiteral("The page is still being saved as \"%1\".").arg(m_savePath));
    if (m_page->url().isEmpty())
        throw Error(QStringLiteral("There is no page to save."));
    const QFileInfo target(path);
    if (path.isEmpty() || target.isDir())
        throw Error(QStringLiteral("\"%1\" is not a file name.").arg(path));
    if (!target.absoluteDir().exists())
        throw Error(QStringLiteral("The folder \"%1\" does not exist.").arg(target.absolutePath()));
    m_savePath = target.absoluteFilePath();
    m_replacedFileTime = target.exists() ? target.lastModified() : QDateTime();
    m_page->save(m_savePath, format);
    // The engine starts the save at once or not at all; one it never starts must not block the next.
    m_saveStart.start(kSaveStartMs);
}

void WebEngineBrowserView::saveNeverStarted()
{
    const QString path = m_savePath;
    m_savePath.clear();
    guarded(m_dialogs, [&] { m_dialogs.error(QStringLiteral("The page could not be saved as \"%1\".").arg(path)); });
    guarded(m_dialogs, [&] { Q_EMIT saveFinished(path, false); });
}

void WebEngineBrowserView::watchSave(QWebEngineDownloadRequest* download)
{
    m_saveStart.stop();
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, download] {
        if (download->isFinished())
            finishSave(download);
    });
    if (download->isFinished())
        finishSave(download);
}

void WebEngineBrowserView::finishSave(QWebEngineDownloadRequest* download)
{
    disconnect(download, nullptr, this, nullptr);
    const QString path = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    m_savePath.clear();
    // The engine reports a save it could not write as completed: the file tells, and a file that was
    // there before must have been written anew.
    const QFileInfo written(path);
    const bool ok = download->state() == QWebEngineDownloadRequest::DownloadCompleted && written.isFile() &&
                    (!m_replacedFileTime.isValid() || written.lastModified() != m_replacedFileTime);
    if (!ok) {
        QString reason;
        if (download->state() == QWebEngineDownloadRequest::DownloadInterrupted)
            reason = QStringLiteral(": ") + download->interruptReasonString();
        guarded(m_dialogs, [&] { m_dialogs.error(QStringLiteral("The page could not be saved as \"%1\"%2.").arg(path, reason)); });
    }
    guarded(m_dialogs, [&] { Q_EMIT saveFinished(path, ok); });
}

} // namespace pxt
