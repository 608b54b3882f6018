#pragma once

#include "harvest/PictureSource.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace pxt {

// Saves pictures into a folder: several fetched at a time from a source, each stored under its
// address's file name by PictureFiles (duplicates found, names numbered, no partial file under a final
// name). A picture that fails is told with its reason and the run goes on. Everything runs on the
// thread's event loop; nothing waits.
class PictureSaver {
public:
    // What a run did, for the box at its end.
    struct Outcome {
        QString folder;
        int count = 0;        // pictures of the run
        int saved = 0;        // written into the folder
        int alreadyThere = 0; // their bytes were there already
        QStringList failures; // "sunset.jpg: 404 Not Found", one line each
        QStringList renamed;  // pictures saved under a name of the program's own, one line each
        bool stopped = false; // ended by stop(): the pictures not yet done are not counted
    };

    explicit PictureSaver(PictureSource& source);
    // Another source for the next run (not during one).
    void setSource(PictureSource& source) { m_source = &source; }
    ~PictureSaver();
    PictureSaver(const PictureSaver&) = delete;
    PictureSaver& operator=(const PictureSaver&) = delete;

    // A picture's fetch begins: its number from 1, the run's count and its name.
    std::function<void(int number, int count, const QString& name)> onProgress;
    // The run has ended, by itself or by stop().
    std::function<void(const Outcome&)> onFinished;

    // Begins a run (one at a time: false while one is under way) with up to parallel fetches at once.
    // A folder that cannot be made or written ends the run at once with that as its one failure.
    bool start(const QList<PictureToSave>& pictures, const QString& folder, int parallel);
    // Ends the run at once: the fetches in flight are dropped, nothing more is written.
    void stop();
    bool running() const { return m_running; }
    const Outcome& outcome() const { return m_outcome; }

    // The text of the box at a run's end: how many saved, how many there already, the pictures renamed
    // and each failure with its reason.
    static QString summary(const Outcome& outcome);
    // Its first line, for a status line.
    static QString headline(const Outcome& outcome);

    // The name a picture is saved under before numbering; "picture" when its address gives none.
    static QString fallbackName() { return QStringLiteral("picture"); }

private:
    struct Slot {
        std::unique_ptr<PictureFetch> fetch;
        qsizetype index = -1;
    };

    void fill();
    void received(size_t slot, const PictureSource::Reply& reply);
    void finish();

    PictureSource* m_source;
    QList<PictureToSave> m_pictures;
    std::vector<Slot> m_slots;
    qsizetype m_next = 0;
    qsizetype m_done = 0;
    bool m_running = false;
    Outcome m_outcome;
};

} // namespace pxt
