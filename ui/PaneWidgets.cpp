#include "ui/PaneWidgets.h"

#include <QIcon>
#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

namespace pxt {

QToolButton* flatToolButton(QWidget* parent, const QString& name, const QString& hint, const QString& themeIcon,
                            QStyle::StandardPixmap fallback)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFixedSize(25, 25);
    b->setIcon(QIcon::fromTheme(themeIcon, parent->style()->standardIcon(fallback)));
    return b;
}

namespace {
QToolButton* paneButton(QWidget* parent, const QString& name, const QString& hint, const QString& themeIcon,
                        QStyle::StandardPixmap fallback)
{
    QToolButton* b = flatToolButton(parent, name, hint, themeIcon, fallback);
    b->setIconSize(QSize(16, 16));
    return b;
}
} // namespace

QLabel* paneCaption(const QString& text, QWidget* parent)
{
    auto* caption = new QLabel(text, parent);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(16);
    caption->setFont(font);
    caption->setStyleSheet(QStringLiteral("color: navy;"));
    return caption;
}

QToolButton* paneStopButton(QWidget* parent)
{
    return paneButton(parent, QStringLiteral("RxSpeedButton1"), QStringLiteral("Stop"), QStringLiteral("process-stop"),
                      QStyle::SP_BrowserStop);
}

QToolButton* paneReloadButton(QWidget* parent)
{
    return paneButton(parent, QStringLiteral("RxSpeedButton2"), QStringLiteral("Reload"),
                      QStringLiteral("view-refresh"), QStyle::SP_BrowserReload);
}

QLabel* paneStatusLine(QWidget* parent)
{
    auto* line = new QLabel(parent);
    line->setObjectName(QStringLiteral("statusLine"));
    line->setFixedHeight(19);
    line->setFrameShape(QFrame::Panel);
    line->setFrameShadow(QFrame::Sunken);
    line->setIndent(3);
    return line;
}

void addPaneKeys(QWidget* pane, QToolButton* stop, QToolButton* reload)
{
    new QShortcut(QKeySequence::Refresh, pane, reload, &QToolButton::click, Qt::WidgetWithChildrenShortcut);
    new QShortcut(QKeySequence(Qt::Key_Escape), pane, stop, &QToolButton::click, Qt::WidgetWithChildrenShortcut);
}

} // namespace pxt
