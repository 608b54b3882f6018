#include "app/ProgressWindow.h"

#include "ui/Cursor.h"
#include "core/Pump.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace pxt {

namespace {
constexpr int kWidth = 323;
constexpr int kCancellableHeight = 113;
constexpr int kPlainHeight = 78;
// Messages run at most this often: a harvest steps once per link, and letting the messages of the
// embedded engine run after each of 10,000 links costs a second, while the window repaints and sees
// the cancel button just as well every few milliseconds.
constexpr qint64 kPumpIntervalMs = 10;
} // namespace

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FormProgress"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 25, 307, 16);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 0);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 5, 307, 16);
    ButtonCancel = new QPushButton(QStringLiteral("Abbruch"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setGeometry(124, 58, 75, 25);
    ButtonCancel->setAutoDefault(false);
    connect(ButtonCancel, &QPushButton::clicked, this, &ProgressWindow::ButtonCancelClick);
    setFixedSize(kWidth, kCancellableHeight);
    ProgressBar1->setFocus();
}

void ProgressWindow::Setup(const QString& caption, const QString& text, int min, int max, int position,
                          bool cancellable)
{
    int barMin = 0;
    int barMax = 0;
    setWindowTitle(caption);
    Label1->setText(text);
    if (max >= 1 && min < max)
        barMax = max;
    if (min >= 1 && max > min)
        barMin = min;
    int barPos = 0;
    if (barMin < position && position < barMax)
        barPos = position;
    ProgressBar1->setRange(barMin, barMax);
    ProgressBar1->setValue(barPos);

    FCancellable = cancellable;
    if (cancellable) {
        setFixedSize(kWidth, kCancellableHeight);
        setScreenCursor(Qt::ArrowCursor);
    } else {
        setFixedSize(kWidth, kPlainHeight);
    }
    FCancelled = false;
    m_sincePump.invalidate();

    if (barMin < barMax) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
        show();
        raise();
        repaint();
    }
}

void ProgressWindow::StepTo(int position)
{
    ProgressBar1->setValue(position);
    if (FCancellable && (!m_sincePump.isValid() || m_sincePump.hasExpired(kPumpIntervalMs))) {
        pumpMessages();
        m_sincePump.start();
    }
    if (position >= ProgressBar1->maximum() - 1)
        hide();
}

void ProgressWindow::SetText(const QString& text) { Label1->setText(text); }

void ProgressWindow::Hourglass(bool on) { setScreenCursor(on ? Qt::WaitCursor : Qt::ArrowCursor); }

void ProgressWindow::showEvent(QShowEvent* event)
{
    setScreenCursor(Qt::ArrowCursor);
    QDialog::showEvent(event);
}

void ProgressWindow::reject() { ButtonCancelClick(); }

void ProgressWindow::ButtonCancelClick()
{
    FCancelled = true;
    hide();
}

} // namespace pxt
