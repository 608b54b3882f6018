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
    setObjectName(QStringLiteral("progressWindow"));
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("progressBar"));
    m_progressBar->setGeometry(8, 25, 307, 16);
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, 0);
    m_textLabel = new QLabel(this);
    m_textLabel->setObjectName(QStringLiteral("text"));
    m_textLabel->setGeometry(8, 5, 307, 16);
    m_cancelButton = new QPushButton(QStringLiteral("Abbruch"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setGeometry(124, 58, 75, 25);
    m_cancelButton->setAutoDefault(false);
    connect(m_cancelButton, &QPushButton::clicked, this, &ProgressWindow::onCancel);
    setFixedSize(kWidth, kCancellableHeight);
    m_progressBar->setFocus();
}

void ProgressWindow::setUp(const QString& caption, const QString& text, int min, int max, int position,
                          bool cancellable)
{
    int barMin = 0;
    int barMax = 0;
    setWindowTitle(caption);
    m_textLabel->setText(text);
    if (max >= 1 && min < max)
        barMax = max;
    if (min >= 1 && max > min)
        barMin = min;
    int barPos = 0;
    if (barMin < position && position < barMax)
        barPos = position;
    m_progressBar->setRange(barMin, barMax);
    m_progressBar->setValue(barPos);

    m_cancellable = cancellable;
    if (cancellable) {
        setFixedSize(kWidth, kCancellableHeight);
        setScreenCursor(Qt::ArrowCursor);
    } else {
        setFixedSize(kWidth, kPlainHeight);
    }
    m_cancelled = false;
    m_sincePump.invalidate();

    if (barMin < barMax) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
        show();
        raise();
        repaint();
    }
}

void ProgressWindow::stepTo(int position)
{
    m_progressBar->setValue(position);
    if (m_cancellable && (!m_sincePump.isValid() || m_sincePump.hasExpired(kPumpIntervalMs))) {
        pumpMessages();
        m_sincePump.start();
    }
    if (position >= m_progressBar->maximum() - 1)
        hide();
}

void ProgressWindow::setText(const QString& text) { m_textLabel->setText(text); }

void ProgressWindow::setBusyCursor(bool on) { setScreenCursor(on ? Qt::WaitCursor : Qt::ArrowCursor); }

void ProgressWindow::showEvent(QShowEvent* event)
{
    setScreenCursor(Qt::ArrowCursor);
    QDialog::showEvent(event);
}

void ProgressWindow::reject() { onCancel(); }

void ProgressWindow::onCancel()
{
    m_cancelled = true;
    hide();
}

} // namespace pxt
