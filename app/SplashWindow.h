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

    QLabel* Image1;
    QTimer* Timer1;

    static constexpr int kInterval = 2500;

public slots:
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
};

} // namespace pxt
