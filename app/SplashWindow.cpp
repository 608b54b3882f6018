#include "app/SplashWindow.h"

#include "app/JpegImage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace pxt {

namespace {

// The designed size, kept when the picture cannot be shown.
constexpr QSize kDesignSize(549, 335);

QByteArray shippedPicture()
{
    QFile file(QStringLiteral(":/splash.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

SplashWindow::SplashWindow(QWidget* parent) : SplashWindow(shippedPicture(), parent) {}

SplashWindow::SplashWindow(const QByteArray& jpeg, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(new QLabel(this)),
      m_closeTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("splashWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_picture->setObjectName(QStringLiteral("picture"));

    const QImage picture = decodeJpeg(jpeg);
    const QSize size = picture.isNull() ? kDesignSize : picture.size();
    if (!picture.isNull())
        m_picture->setPixmap(QPixmap::fromImage(picture));
    m_picture->setGeometry(QRect(QPoint(0, 0), size));
    setFixedSize(size);

    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(0, 0), size);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    m_closeTimer->setObjectName(QStringLiteral("closeTimer"));
    m_closeTimer->setInterval(kInterval);
    connect(m_closeTimer, &QTimer::timeout, this, &SplashWindow::onCloseTimer);
    m_closeTimer->start();
}

void SplashWindow::showAtOnce()
{
    show();
    raise();
    // The window system maps the window a moment after show(); until then nothing can be painted.
    // User input stays queued for the main window that is still being built.
    const QDeadlineTimer deadline(500);
    while (windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    repaint();
}

void SplashWindow::onCloseTimer()
{
    m_closeTimer->stop();
    close();
}

void SplashWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    repaint();
}

void SplashWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        repaint();
}

} // namespace pxt
