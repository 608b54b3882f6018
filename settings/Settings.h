#pragma once

#include <QString>
#include <QStringList>

namespace pxt {

// The two live settings have no copy of their own: the link filter reads them from their source (the
// options dialog's check box and filter lines) each time it runs.
class LiveLinkFilter {
public:
    virtual ~LiveLinkFilter() = default;
    virtual bool linkFilterEnabled() const = 0;
    virtual QStringList linkFilterLines() const = 0;
};

// A plain source of the live settings, with their first-run values.
class PlainLinkFilter : public LiveLinkFilter {
public:
    bool enabled = true;
    QStringList lines;
    bool linkFilterEnabled() const override { return enabled; }
    QStringList linkFilterLines() const override { return lines; }
};

// The five snapshot values, with their first-run values.
struct SnapshotValues {
    QString fileTypes = QStringLiteral("jpg, jpeg, gif");
    float bannerRatio = 2.75f;
    int thumbColumnCount = 2;
    int minThumbWidth = 50;
    int minThumbHeight = 50;
    // Beyond the seven: how many size requests the probe keeps in flight.
    int parallelRequests = 4;
    // The side of the square every thumbnail of the thumbnail page is drawn inside.
    int thumbnailSize = 200;
    // Whether a grab borrows the browser's cookies and the gallery's address as Referer.
    bool useBrowserLogin = true;
    // Whether a picture without a link that names its full picture in an attribute is a thumbnail.
    bool takeUnlinkedPictures = true;

    // Their ranges; takeSnapshot clamps into them.
    static constexpr float kMaxBannerRatio = 1000.0f;
    static constexpr int kMaxParallelRequests = 8;
    static constexpr int kMaxColumns = 20;
    static constexpr int kMaxThumbSide = 1000;
    static constexpr int kMinThumbnailSize = 40;
    static constexpr int kMaxThumbnailSize = 1000;

    // What the options dialog's "Default" button sets: the first-run values, but thumbnails down to
    // 20 by 20.
    static SnapshotValues defaultButton()
    {
        SnapshotValues v;
        v.minThumbWidth = 20;
        v.minThumbHeight = 20;
        return v;
    }
};

// The seven harvest settings. Every reader reads a value at the moment of use.
class Settings {
public:
    Settings() = default;
    explicit Settings(const LiveLinkFilter* live) : m_live(live) {}

    QString fileTypes() const { return m_snapshot.fileTypes; }
    float bannerRatio() const { return m_snapshot.bannerRatio; }
    int thumbColumnCount() const { return m_snapshot.thumbColumnCount; }
    int minThumbWidth() const { return m_snapshot.minThumbWidth; }
    int minThumbHeight() const { return m_snapshot.minThumbHeight; }
    int parallelRequests() const { return m_snapshot.parallelRequests; }
    int thumbnailSize() const { return m_snapshot.thumbnailSize; }
    bool useBrowserLogin() const { return m_snapshot.useBrowserLogin; }
    bool takeUnlinkedPictures() const { return m_snapshot.takeUnlinkedPictures; }
    bool linkFilterEnabled() const { return live().linkFilterEnabled(); }
    QStringList linkFilterLines() const { return live().linkFilterLines(); }

    // Takes the snapshot; values outside their ranges are clamped into them.
    void takeSnapshot(const SnapshotValues& values);
    const SnapshotValues& snapshot() const { return m_snapshot; }

    // The source of the live values; null restores the plain one with its first-run values.
    void setLiveLinkFilter(const LiveLinkFilter* live) { m_live = live; }
    PlainLinkFilter& plainLinkFilter() { return m_plain; }

private:
    const LiveLinkFilter& live() const { return m_live ? *m_live : m_plain; }
    SnapshotValues m_snapshot;
    PlainLinkFilter m_plain;
    const LiveLinkFilter* m_live = nullptr;
};

// The folder pictures were last saved into, kept in the settings file; empty when none was.
QString lastPictureFolder();
// Throws Error when the settings file cannot be written.
void storeLastPictureFolder(const QString& folder);

} // namespace pxt
