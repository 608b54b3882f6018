#include "testing/TestBrowserView.h"

#include "testing/HtmlDocument.h"
#include "dom/DocumentBuilder.h"
#include "core/Dialogs.h"
#include "core/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QStringDecoder>

namespace pxt {

namespace {

QHash<QString, QString>& registeredPages()
{
    static QHash<QString, QString> pages;
    return pages;
}

// Shown pages whose document() fails, with the reason.
QHash<QString, QString>& unreadablePages()
{
    static QHash<QString, QString> pages;
    return pages;
}

QString normalizedAddress(const QString& address) { return resolveAddress(QUrl(), address); }

// The text of an HTML file: in the charset its bytes or its META declare, else in UTF-8; text that
// is no valid UTF-8 is read as ISO-8859-1.
QString decodeHtml(const QByteArray& bytes)
{
    const auto encoding = QStringConverter::encodingForHtml(bytes).value_or(QStringConverter::Utf8);
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() && encoding == QStringConverter::Utf8)
        return QString::fromLatin1(bytes);
    return text;
}

struct Source {
    QString html;
    QString url;
    bool found = false;
};

Source readSource(const QString& address)
{
    const QString normal = normalizedAddress(address);
    const auto& pages = registeredPages();
    for (const QString& key : {address, normal}) {
        const auto it = pages.constFind(key);
        if (it != pages.constEnd())
            return {it.value(), normal, true};
    }
    if (normal == QLatin1String("about:blank"))
        return {QString(), normal, true};

    const QUrl url(address, QUrl::TolerantMode);
    QString path;
    if (url.isLocalFile())
        path = url.toLocalFile();
    else if (url.scheme().size() < 2) // no scheme: a plain path
        path = address;
    else
        return {QString(), normal, false};
    const QFileInfo info(path);
    Source s;
    s.url = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
    QFile f(info.absoluteFilePath());
    if (info.isFile() && f.open(QIODevice::ReadOnly)) {
        s.html = decodeHtml(f.readAll());
        s.found = true;
    }
    return s;
}

QString errorPage(const QString& address)
{
    return QStringLiteral("<html><head><title>Page not found</title></head><body><h1>Page not found</h1>"
                          "<p>%1 cannot be shown.</p></body></html>")
        .arg(address.toHtmlEscaped());
}

// Frames come from the same sources; a frame that cannot be found cannot be read.
std::shared_ptr<Document> loadFrame(const QString& address)
{
    const Source s = readSource(address);
    return s.found ? htmlDocument(s.html, s.url, loadFrame) : nullptr;
}

} // namespace

TestBrowserView::TestBrowserView(Dialogs& dialogs, QWidget* parent)
    : BrowserView(parent), m_dialogs(dialogs), m_label(new QLabel(parent))
{
    m_label->setAlignment(Qt::AlignCenter);
}

TestBrowserView::~TestBrowserView() { delete m_label; }

QWidget* TestBrowserView::widget() { return m_label; }

void TestBrowserView::navigate(const QString& address)
{
    bool cancel = false;
    Q_EMIT navigationRequested(address, &cancel);
    if (cancel)
        return;
    m_address = address;
    m_busy = true;
    const quint64 serial = ++m_serial;
    QMetaObject::invokeMethod(
        this, [this, serial, address] { guarded(m_dialogs, [&] { finishLoad(serial, address); }); }, Qt::QueuedConnection);
}

void TestBrowserView::finishLoad(quint64 serial, const QString& address)
{
    if (serial != m_serial)
        return; // stopped, or replaced by a later navigation
    const Source s = readSource(address);
    m_document = htmlDocument(s.found ? s.html : errorPage(address), s.url, loadFrame);
    m_location = s.url;
    if (m_label)
        m_label->setText(m_document->title());
    Q_EMIT loadProgress(50, 100);
    if (serial != m_serial)
        return;
    m_busy = false;
    Q_EMIT documentComplete();
}

void TestBrowserView::stop()
{
    ++m_serial;
    m_busy = false;
}

void TestBrowserView::refresh()
{
    if (!m_address.isEmpty())
        navigate(m_address);
}

void TestBrowserView::saveAs() { ++m_saveAsCount; }

std::shared_ptr<Document> TestBrowserView::document()
{
    const auto failure = unreadablePages().constFind(m_location);
    if (failure != unreadablePages().constEnd())
        throw Error(failure.value());
    if (!m_document)
        m_document = htmlDocument(QString(), QStringLiteral("about:blank"));
    return m_document;
}

void TestBrowserView::registerPage(const QString& url, const QString& html)
{
    registeredPages().insert(normalizedAddress(url), html);
}

void TestBrowserView::registerUnreadablePage(const QString& url, const QString& reason)
{
    unreadablePages().insert(normalizedAddress(url), reason);
}

void TestBrowserView::clearPages()
{
    registeredPages().clear();
    unreadablePages().clear();
}

BrowserView* TestBrowserViewFactory::create(QWidget* parent)
{
    auto* view = new TestBrowserView(m_dialogs, parent);
    views.append(view);
    return view;
}

} // namespace pxt
