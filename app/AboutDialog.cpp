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
    setObjectName(QStringLiteral("DlgInfo"));
    setWindowTitle(QStringLiteral("Info"));
    setFixedSize(313, 174);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 8, 50, 50);
    const QImage picture = loadJpeg(QStringLiteral(":/info.jpg"));
    if (!picture.isNull())
        Image1->setPixmap(QPixmap::fromImage(picture));

    Label1 = label(this, "Label1", QStringLiteral("Pixtrawl 1.0"), QPoint(70, 18));
    Label1->setFont(arial(21, true));
    Label1->adjustSize();
    Label2 = label(this, "Label2", QStringLiteral("Harvests thumbnail galleries from web pages."), QPoint(12, 70));
    Label2->setFont(arial(11, false));
    Label2->adjustSize();

    Label3 = label(this, "Label3", QStringLiteral("www"), QPoint(12, 96));
    makeBold(Label3);
    Label4 = label(this, "Label4", QStringLiteral("mail"), QPoint(12, 116));
    makeBold(Label4);
    Label5 = label(this, "Label5", QStringLiteral("https://pixtrawl.example.org"), QPoint(52, 96));
    makeLink(Label5);
    Label6 = label(this, "Label6", QStringLiteral("info@pixtrawl.example.org"), QPoint(52, 116));
    makeLink(Label6);
    Label5->installEventFilter(this);
    Label6->installEventFilter(this);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(226, 140, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void AboutDialog::Label5Click()
{
    guarded(m_dialogs, [this] { m_dialogs.openUrl(QUrl(Label5->text())); });
}

void AboutDialog::Label6Click()
{
    guarded(m_dialogs, [this] { m_dialogs.openUrl(QUrl(QStringLiteral("mailto:") + Label6->text())); });
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event)
{
    // A link is clicked when the left button is let go over it.
    if ((watched == Label5 || watched == Label6) && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* link = static_cast<QLabel*>(watched);
        if (mouse->button() == Qt::LeftButton && link->rect().contains(mouse->position().toPoint())) {
            if (link == Label5)
                Label5Click();
            else
                Label6Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace pxt
