#include "settings/Settings.h"

#include "core/IniFile.h"
#include "core/ProgramFiles.h"
#include "core/SettingsKeys.h"

#include <algorithm>
#include <cmath>

namespace pxt {

void Settings::takeSnapshot(const SnapshotValues& v)
{
    m_snapshot.fileTypes = v.fileTypes;
    m_snapshot.bannerRatio =
        std::isfinite(v.bannerRatio) ? std::clamp(v.bannerRatio, 0.0f, SnapshotValues::kMaxBannerRatio) : 0.0f;
    m_snapshot.thumbColumnCount = std::clamp(v.thumbColumnCount, 1, SnapshotValues::kMaxColumns);
    m_snapshot.minThumbWidth = std::clamp(v.minThumbWidth, 0, SnapshotValues::kMaxThumbSide);
    m_snapshot.minThumbHeight = std::clamp(v.minThumbHeight, 0, SnapshotValues::kMaxThumbSide);
    m_snapshot.parallelRequests = std::clamp(v.parallelRequests, 1, SnapshotValues::kMaxParallelRequests);
    m_snapshot.thumbnailSize =
        std::clamp(v.thumbnailSize, SnapshotValues::kMinThumbnailSize, SnapshotValues::kMaxThumbnailSize);
    m_snapshot.useBrowserLogin = v.useBrowserLogin;
    m_snapshot.takeUnlinkedPictures = v.takeUnlinkedPictures;
}

QString lastPictureFolder()
{
    return IniFile(ProgramFiles::settingsFile())
        .read(SettingsKeys::kSavePicturesSection, SettingsKeys::kLastFolder)
        .value_or(QString());
}

void storeLastPictureFolder(const QString& folder)
{
    IniFile ini(ProgramFiles::settingsFile());
    ini.write(SettingsKeys::kSavePicturesSection, SettingsKeys::kLastFolder, folder);
    ini.save();
}

} // namespace pxt
