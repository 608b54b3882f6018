#pragma once

#include "dom/Document.h"

#include <QPointer>
#include <QString>

class QWebEnginePage;

namespace pxt {

// Writes go out batched; a write whose new elements the model must know is read back at once, so
// that the page's own parse of the written text gives the model its elements.
class WebEngineLiveChannel : public LiveChannel {
public:
    explicit WebEngineLiveChannel(QWebEnginePage* page);
    void run(const QString& script) override;
    void check(int snapshot, int handle, bool on) override;
    bool readsBack() const override { return true; }
    QString runAndRead(const QString& script) override;

private:
    static constexpr int kReadBackMs = 10000;
    QPointer<QWebEnginePage> m_page;
};

} // namespace pxt
