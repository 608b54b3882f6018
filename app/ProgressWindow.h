#pragma once

#include "harvest/ProgressSink.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pxt {

// The progress window of long loops on the user-interface thread: a caption, one line of text, a bar
// and, when the loop can be cancelled, the "Abbruch" button.
class ProgressWindow : public QDialog, public ProgressSink {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void Setup(const QString& caption, const QString& text, int min, int max, int position,
               bool cancellable) override;
    void StepTo(int position) override;
    void SetText(const QString& text) override;
    bool Cancelled() const override { return FCancelled; }
    void Close() override { hide(); }
    void Hourglass(bool on) override;

    QProgressBar* ProgressBar1;
    QLabel* Label1;
    QPushButton* ButtonCancel;

    bool FCancelled = false;
    bool FCancellable = false;

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Esc closes like the cancel button

private:
    void ButtonCancelClick();

    QElapsedTimer m_sincePump; // invalid until the first step after Setup
};

} // namespace pxt
