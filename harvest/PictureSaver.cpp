#include "harvest/PictureSaver.h"

#include "harvest/PictureFiles.h"

#include <QDir>

namespace pxt {

namespace {

// The picture's name in the lines of the box: its file name, else its address.
QString shownName(const PictureToSave& picture)
{
    const QString name = PictureFiles::nameFromAddress(picture.address);
    return name.isEmpty() ? picture.address.toDisplayString() : name;
}

} // namespace

PictureSaver::PictureSaver(PictureSource& source) : m_source(&source) {}

PictureSaver::~PictureSaver() { m_slots.clear(); }

bool PictureSaver::start(const QList<PictureToSave>& pictures, const QString& folder, int parallel)
{
    if (m_running)
        return false;
    m_pictures = pictures;
    m_outcome = Outcome();
    m_outcome.folder = QDir::cleanPath(folder);
    m_outcome.count = int(pictures.size());
    m_next = 0;
    m_done = 0;
    m_slots.clear();
    m_slots.resize(size_t(qMax(1, parallel)));
    m_running = true;
    const QString problem = PictureFiles::folderProblem(m_outcome.folder);
    if (!problem.isEmpty()) {
        m_outcome.failures << m_outcome.folder + QStringLiteral(": ") + problem;
        m_next = m_done = m_pictures.size();
        finish();
        return true;
    }
    fill();
    if (m_pictures.isEmpty())
        finish();
    return true;
}

void PictureSaver::stop()
{
    if (!m_running)
        return;
    m_outcome.stopped = true;
    m_slots.clear(); // drops the fetches; no file of theirs was begun
    finish();
}

void PictureSaver::fill()
{
    for (size_t i = 0; i < m_slots.size() && m_running && m_next < m_pictures.size(); ++i) {
        if (m_slots[i].fetch)
            continue;
        const qsizetype index = m_next++;
        const PictureToSave& picture = m_pictures.at(index);
        m_slots[i].index = index;
        if (onProgress)
            onProgress(int(index) + 1, m_outcome.count, shownName(picture));
        if (!m_running)
            return; // stopped from the progress call
        m_slots[i].fetch = m_source->fetch(picture, [this, i](const PictureSource::Reply& reply) { received(i, reply); });
    }
}

void PictureSaver::received(size_t slot, const PictureSource::Reply& reply)
{
    const PictureToSave picture = m_pictures.at(m_slots[slot].index);
    m_slots[slot].fetch.reset();
    ++m_done;

    const QString shown = shownName(picture);
    if (!reply.failure.isEmpty()) {
        m_outcome.failures << shown + QStringLiteral(": ") + reply.failure;
    } else if (reply.bytes.isEmpty()) {
        m_outcome.failures << shown + QStringLiteral(": the answer was empty");
    } else if (PictureFiles::isWebPage(reply.contentType, reply.bytes)) {
        m_outcome.failures << shown + QStringLiteral(": a web page came instead of a picture");
    } else {
        QString name = PictureFiles::nameFromAddress(picture.address);
        const bool fallback = name.isEmpty();
        if (fallback)
            name = fallbackName();
        name = PictureFiles::withTypeExtension(name, reply.contentType, reply.bytes);
        const PictureFiles::Stored stored = PictureFiles::store(m_outcome.folder, name, reply.bytes);
        switch (stored.kind) {
        case PictureFiles::Stored::Saved:
            ++m_outcome.saved;
            if (fallback)
                m_outcome.renamed << shown + QStringLiteral(": no usable file name, saved as ") + stored.fileName;
            break;
        case PictureFiles::Stored::AlreadyThere:
            ++m_outcome.alreadyThere;
            break;
        case PictureFiles::Stored::Failed:
            m_outcome.failures << (fallback ? shown : name) + QStringLiteral(": ") + stored.failure;
            break;
        }
    }
    if (m_done >= m_pictures.size()) {
        finish();
        return;
    }
    fill();
}

QString PictureSaver::headline(const Outcome& o)
{
    const QString folder = QDir::toNativeSeparators(o.folder);
    return o.saved == 1 ? QStringLiteral("1 picture saved in %1.").arg(folder)
                        : QStringLiteral("%1 pictures saved in %2.").arg(QString::number(o.saved), folder);
}

QString PictureSaver::summary(const Outcome& o)
{
    QStringList lines {headline(o)};
    if (o.alreadyThere > 0)
        lines << (o.alreadyThere == 1 ? QStringLiteral("1 was already there.")
                                      : QStringLiteral("%1 were already there.").arg(o.alreadyThere));
    if (o.stopped) {
        const qsizetype left = o.count - o.saved - o.alreadyThere - o.failures.size();
        lines << QStringLiteral("Stopped: %1 not saved.").arg(left);
    }
    if (!o.renamed.isEmpty())
        lines << QString() << o.renamed;
    if (!o.failures.isEmpty())
        lines << QString() << QStringLiteral("Not saved:") << o.failures;
    return lines.join(QLatin1Char('\n'));
}

void PictureSaver::finish()
{
    m_running = false;
    m_slots.clear();
    if (onFinished)
        onFinished(m_outcome);
}

} // namespace pxt
