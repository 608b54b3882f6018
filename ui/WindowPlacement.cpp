#include "ui/WindowPlacement.h"

#include "core/Dialogs.h"
#include "core/ProgramFiles.h"
#include "core/IniFile.h"
#include "core/SettingsKeys.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace pxt {

using namespace SettingsKeys;

namespace {

constexpr int kRestoreToMaximized = 2;

std::optional<int> toInt(const std::optional<QString>& text)
{
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int v = text->toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

QString sizeSuffix(QSize size) { return kScreenSizeSuffix.arg(size.width()).arg(size.height()); }

QRect normalRect(const QWidget* w)
{
    const QRect r = w->normalGeometry();
    return r.isValid() ? r : w->geometry();
}

} // namespace

WindowPlacement::WindowPlacement(QWidget* window, QString section, Dialogs& dialogs)
    : m_window(window), m_section(std::move(section)), m_dialogs(dialogs), m_iniFileName(ProgramFiles::settingsFile())
{
}

void WindowPlacement::addIntProperty(const QString& key, std::function<int()> get, std::function<void(int)> set)
{
    m_properties.push_back({key, std::move(get), std::move(set)});
}

WindowPlacement::Screen WindowPlacement::currentScreen() const
{
    if (m_screen)
        return m_screen();
    const QScreen* screen = m_window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {qRound(screen->logicalDotsPerInch()), screen->geometry().size(), {}};
}

QRect WindowPlacement::availableArea(const QRect& wanted) const
{
    if (m_screen) {
        const Screen screen = m_screen();
        return screen.available.isValid() ? screen.available : QRect(QPoint(0, 0), screen.size);
    }
    const QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = m_window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : wanted;
}

// The rectangle moved into the area, and shrunk to it where it is larger.
static QRect clampedInto(const QRect& wanted, const QRect& area)
{
    if (!area.isValid())
        return wanted;
    const int width = std::min(wanted.width(), area.width());
    const int height = std::min(wanted.height(), area.height());
    const int left = std::clamp(wanted.left(), area.left(), area.left() + area.width() - width);
    const int top = std::clamp(wanted.top(), area.top(), area.top() + area.height() - height);
    return QRect(left, top, width, height);
}

void WindowPlacement::restore()
{
    m_read = true;
    m_saved = false;
    m_placementApplied = false;

    const IniFile ini(m_iniFileName);
    auto value = [&](const QString& key) { return ini.read(m_section, key); };
    if (toInt(value(kFormVersion)).value_or(0) < 0)
        return;

    const Screen screen = currentScreen();
    const QString suffix = sizeSuffix(screen.size);
    // The key for the current screen size wins over the plain one.
    auto placement = [&](const QString& key) {
        const std::optional<QString> sized = value(key + suffix);
        return sized && !sized->isEmpty() ? *sized : value(key).value_or(QString());
    };

    const Qt::WindowStates state = m_window->windowState();
    const int currentFlags = state.testFlag(Qt::WindowMinimized) && state.testFlag(Qt::WindowMaximized)
                                 ? kRestoreToMaximized
                                 : 0;
    const int flags = toInt(value(kFlags)).value_or(currentFlags);

    // Minimized and maximized positions belong to the window manager here; only their presence counts.
    const QString minMax = placement(kMinMaxPos);
    const QString norm = placement(kNormPos);
    const QRect current = normalRect(m_window);
    int edges[4] = {current.left(), current.top(), current.left() + current.width(),
                    current.top() + current.height()};
    if (!norm.isEmpty()) {
        const QStringList items = norm.split(u',');
        for (int i = 0; i < 4 && i < items.size(); ++i)
            edges[i] = toInt(IniFile::trimmed(items[i])).value_or(edges[i]);
    }
    const int pixelsPerInch = toInt(value(kPixelsPerInch)).value_or(screen.pixelsPerInch);
    if ((!minMax.isEmpty() || !norm.isEmpty()) && pixelsPerInch == screen.pixelsPerInch) {
        auto& [left, top, right, bottom] = edges;
        if (m_window->minimumSize() == m_window->maximumSize()) {
            right = left + current.width();
            bottom = top + current.height();
        }
        if (right > left) {
            const QRect wanted(left, top, right - left, bottom - top);
            m_window->setGeometry(clampedInto(wanted, availableArea(wanted)));
            m_placementApplied = true;
        }
    }

    Qt::WindowStates newState = state & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (toInt(value(kShowCmd)).value_or(0)) {
    case 2:
    case 6:
    case 7:
        newState |= Qt::WindowMinimized;
        if (flags & kRestoreToMaximized)
            newState |= Qt::WindowMaximized;
        break;
    case 3:
        newState |= Qt::WindowMaximized;
        break;
    default:
        break;
    }
    if (newState != state)
        m_window->setWindowState(newState);

    for (const Property& p : m_properties) {
        const std::optional<QString> text = value(p.key);
        if (text)
            p.set(toInt(text).value_or(0));
    }
}

bool WindowPlacement::save(bool destroying)
{
    if (!m_read || (destroying && m_saved))
        return true;
    m_saved = true;
    return guarded(m_dialogs, [&] { write(destroying); });
}

void WindowPlacement::write(bool destroying)
{
    const Screen screen = currentScreen();
    const QString suffix = sizeSuffix(screen.size);
    const Qt::WindowStates state = m_window->windowState();
    const bool minimized = state.testFlag(Qt::WindowMinimized);
    const bool maximized = state.testFlag(Qt::WindowMaximized);
    const int flags = minimized && maximized ? kRestoreToMaximized : 0;
    const int showCmd = minimized ? 2 : maximized ? 3 : 1;
    const QRect r = normalRect(m_window);
    const QString norm = QString::asprintf("%d,%d,%d,%d", r.left(), r.top(), r.left() + r.width(),
                                           r.top() + r.height());

    IniFile ini(m_iniFileName);
    using Kind = IniFile::Kind;
    ini.write(m_section, kFormVersion, kFormVersionWritten, Kind::Number);
    ini.write(m_section, kFlags, QString::number(flags), Kind::Number);
    ini.write(m_section, kShowCmd, QString::number(showCmd), Kind::Number);
    ini.write(m_section, kPixelsPerInch, QString::number(screen.pixelsPerInch), Kind::Number);
    ini.write(m_section, kMinMaxPos + suffix, kUnplaced);
    ini.write(m_section, kMinMaxPos, kUnplaced);
    ini.write(m_section, kNormPos + suffix, norm);
    ini.write(m_section, kNormPos, norm);
    ini.write(m_section, kVisible, destroying ? QStringLiteral("1") : QStringLiteral("0"),
              Kind::Number);
    for (const Property& p : m_properties)
        ini.write(m_section, p.key, QString::number(p.get()));
    ini.save();
}

} // namespace pxt
