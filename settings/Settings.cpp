#include "settings/Settings.h"

#include <algorithm>
#include <cmath>

namespace pxt {

Settings& Settings::instance()
{
    static Settings s;
    return s;
}

void Settings::takeSnapshot(const SnapshotValues& v)
{
    m_snapshot.fileTypes = v.fileTypes;
    m_snapshot.bannerRatio = std::isfinite(v.bannerRatio) ? std::clamp(v.bannerRatio, 0.0f, 1000.0f) : 0.0f;
    m_snapshot.thumbColumnCount = std::clamp(v.thumbColumnCount, 1, 20);
    m_snapshot.minThumbWidth = std::clamp(v.minThumbWidth, 0, 1000);
    m_snapshot.minThumbHeight = std::clamp(v.minThumbHeight, 0, 1000);
}

} // namespace pxt
