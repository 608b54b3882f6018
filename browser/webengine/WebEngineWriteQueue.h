#pragma once

#include <QObject>
#include <QString>

class QWebEnginePage;

namespace pxt {

// Writes on a live document go to the page it was read from, in the world of the serializer.
// The engine runs the scripts in the order they were sent.
// The writes on a page's documents, sent as one script per turn of the event loop: a command that
// checks 10,000 boxes costs one round trip, not 10,000. Reading the page sends what is pending first,
// so a read always sees every earlier write.
// A QObject of its own (Q_OBJECT): of() finds the queue among the page's children by its type.
class WebEngineWriteQueue : public QObject {
    Q_OBJECT
public:
    static WebEngineWriteQueue* of(QWebEnginePage* page);
    void add(const QString& script);
    // Boxes set one after the other to the same state go as one list.
    void addCheck(int snapshot, int handle, bool on);
    void flush();

private:
    explicit WebEngineWriteQueue(QWebEnginePage* page);
    void schedule();
    void endChecks();
    QWebEnginePage* m_page;
    QString m_pending;
    QString m_checkHandles; // the boxes of the list under way, comma-separated
    int m_checkSnapshot = -1;
    bool m_checkOn = false;
    bool m_scheduled = false;
};

} // namespace pxt
