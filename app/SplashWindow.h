#pragma once

#include <QByteArray>
#include <QWidget>

class QLabel;
class QTimer;

namespace pxt {

// The start-up picture: borderless, on top, centred, the size of its picture. It closes itself on the
// first tick of its timer; closing frees it (WA_DeleteOnClose).
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    // The picture shipped with the program (":/splash.jpg").
    explicit SplashWindow(QWidget* parent = nullptr);
    // Another picture; one that does not decode leaves the window without a picture.
    explicit SplashWindow(const QByteArray& jpeg, QWidget* parent = nullptr);

    // Shows the window and paints it at once, before the caller goes on starting.
    void showAtOnce();

    QLabel* picture() const { return m_picture; }
    // Closes the window on its first tick.
    QTimer* closeTimer() const { return m_closeTimer; }

    static constexpr int kInterval = 2500;

public slots:
    void onCloseTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_picture;
    QTimer* m_closeTimer;
};

} // namespace pxt
