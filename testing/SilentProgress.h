#pragma once

#include "harvest/ProgressSink.h"

namespace pxt {

// A progress window that shows nothing and is never cancelled (tests, benchmarks).
class SilentProgress : public ProgressSink {
public:
    void setUp(const QString&, const QString&, int, int, int, bool) override {}
    void stepTo(int) override {}
    void setText(const QString&) override {}
    bool isCancelled() const override { return false; }
    void finish() override {}
    void setBusyCursor(bool) override {}
};

} // namespace pxt
