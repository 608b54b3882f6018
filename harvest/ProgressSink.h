#pragma once

#include <QString>

namespace pxt {

// What a long loop needs of the progress window; the program's is the progress window itself, tests
// give a recorder.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Setup(const QString& caption, const QString& text, int min, int max, int position,
                       bool cancellable) = 0;
    // Moves the bar; a cancellable window lets pending messages run here.
    virtual void StepTo(int position) = 0;
    virtual void SetText(const QString& text) = 0;
    // Set when the user pressed the cancel button; cleared by Setup.
    virtual bool Cancelled() const = 0;
    // The window's standard close (hide).
    virtual void Close() = 0;
};

// A progress window that shows nothing and is never cancelled (tests, benchmarks).
class SilentProgress : public ProgressSink {
public:
    void Setup(const QString&, const QString&, int, int, int, bool) override {}
    void StepTo(int) override {}
    void SetText(const QString&) override {}
    bool Cancelled() const override { return false; }
    void Close() override {}
};

} // namespace pxt
