#pragma once

#include "harvest/ProgressSink.h"

namespace pxt {

// A progress window that shows nothing and is never cancelled (tests, benchmarks).
class SilentProgress : public ProgressSink {
public:
    void Setup(const QString&, const QString&, int, int, int, bool) override {}
    void StepTo(int) override {}
    void SetText(const QString&) override {}
    bool Cancelled() const override { return false; }
    void Close() override {}
    void Hourglass(bool) override {}
};

} // namespace pxt
