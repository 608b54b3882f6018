#include "app/AboutDialog.h"

#include "app/JpegImage.h"
#include "core/Dialogs.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace pxt {

namespace {

QFont arial(int pixels, bool italic)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(true);
    f.setItalic(italic);
    return f;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, const QPoint& at)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->move(at);
    return l;
}

void makeLink(QLabel* l)
{
    QFont f = l->font();
    f.setBold(true);
    f.setUnderline(true);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    l->setPalette(pal);
    l->setCursor(Qt::PointingHandCursor);
    l->adjustSize();
}

void makeBold(QLabel* l)
{
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->adjustSize();
}

} // namespace


AboutDialog::AboutDialog(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("Info"));
    setFixedSize(313, 174);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("picture"));
    m_picture->setGeometry(8, 8, 50, 50);
    const QImage picture = loadJpeg(QStringLiteral(":/info.jpg"));
    if (!picture.isNull())
        m_picture->setPixmap(QPixmap::fromImage(picture));

    m_productLabel = label(this, "Label1", QStringLiteral("Pixtrawl 1.0"), QPoint(70, 18));
    m_productLabel->setFont(arial(21, true));
    m_productLabel->adjustSize();
    m_noticeLabel = label(this, "Label2", QStringLiteral("Harvests thumbnail galleries from web pages."), QPoint(12, 70));
    m_noticeLabel->setFont(arial(11, false));
    m_noticeLabel->adjustSize();

    m_webCaption = label(this, "Label3", QStringLiteral("www"), QPoint(12, 96));
    makeBold(m_webCaption);
    m_mailCaption = label(this, "Label4", QStringLiteral("mail"), QPoint(12, 116));
    makeBold(m_mailCaption);
    m_webLabel = label(this, "Label5", QStringLiteral("https://pixtrawl.example.org"), QPoint(52, 96));
    makeLink(m_webLabel);
    m_mailLabel = label(this, "Label6", QStringLiteral("info@pixtrawl.example.org"), QPoint(52, 116));
    makeLink(m_mailLabel);
    m_webLabel->installEventFilter(this);
    m_mailLabel->installEventFilter(this);

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setGeometry(226, 140, 75, 25);
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void AboutDialog::onWebAddressClicked()
{
    guarded(m_dialogs, [this] { m_dialogs.openUrl(QUrl(m_webLabel->text())); });
}

void AboutDialog::onMailAddressClicked()
{
    guarded(m_dialogs, [this] { m_dialogs.openUrl(QUrl(QStringLiteral("mailto:") + m_mailLabel->text())); });
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event)
{
    // A link is clicked when the left button is let go over it.
    if ((watched == m_webLabel || watched == m_mailLabel) && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* link = static_cast<QLabel*>(watched);
        if (mouse->button() == Qt::LeftButton && link->rect().contains(mouse->position().toPoint())) {
            if (link == m_webLabel)
                onWebAddressClicked();
            else
                onMailAddressClicked();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pxt
