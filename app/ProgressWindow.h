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

    void setUp(const QString& caption, const QString& text, int min, int max, int position,
               bool cancellable) override;
    void stepTo(int position) override;
    void setText(const QString& text) override;
    bool isCancelled() const override { return m_cancelled; }
    void finish() override { hide(); }
    void setBusyCursor(bool on) override;

    QProgressBar* progressBar() const { return m_progressBar; }
    QLabel* textLabel() const { return m_textLabel; }
    QPushButton* cancelButton() const { return m_cancelButton; }

protected:
    void showEvent(QShowEvent* event) override;
    void reject() override; // Esc closes like the cancel button

private:
    QProgressBar* m_progressBar;
    QLabel* m_textLabel;
    QPushButton* m_cancelButton;

    bool m_cancelled = false;
    bool m_cancellable = false;

    void onCancel();

    QElapsedTimer m_sincePump; // invalid until the first step after setUp
};

} // namespace pxt
