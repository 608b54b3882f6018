#pragma once

#include <QString>

namespace pxt {

// What a long loop needs of the progress window; the program's is the progress window itself, tests
// give a recorder.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setUp(const QString& caption, const QString& text, int min, int max, int position,
                       bool cancellable) = 0;
    // Moves the bar; a cancellable window lets pending messages run here.
    virtual void stepTo(int position) = 0;
    virtual void setText(const QString& text) = 0;
    // Set when the user pressed the cancel button; cleared by Setup.
    virtual bool isCancelled() const = 0;
    // The window's standard close (hide).
    virtual void finish() = 0;
    // The screen cursor of long work: the hourglass on, the arrow again off.
    virtual void setBusyCursor(bool on) = 0;
};

} // namespace pxt
