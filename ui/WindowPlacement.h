#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace pxt {

class Dialogs;

// Keeps a top-level window's placement and some integer properties in a section of the settings file.
//
// Usage (the main window):
//     m_placement = std::make_unique<WindowPlacement>(this, SettingsKeys::kMainFormSection, dialogs);
//     m_placement->addIntProperty(SettingsKeys::kThumbsPaneWidth, getter, setter);
//     showEvent (not spontaneous):  m_placement->restore();
//     closeEvent:                   m_placement->save(false);
//     destructor:                   m_placement->save(true);
// restore() may also run before the first show(): geometry and state set on a hidden window take
// effect when it is shown. When placementApplied() is true the window must not centre itself.
//
// Keys: FormVersion (0), Flags, ShowCmd, PixelsPerInch, MinMaxPos(WxH), MinMaxPos, NormPos(WxH),
// NormPos, Visible, then the properties in the order they were added. This platform has no separate
// placement record, so:
//   Flags      2 when the window is minimized from the maximized state (it comes back maximized), else 0;
//   ShowCmd    1 normal, 2 minimized, 3 maximized (from the window state);
//   MinMaxPos  "-1,-1,-1,-1": minimized and maximized windows are placed by the window manager, so the
//              value is written for the format's sake and ignored when read;
//   NormPos    left, top, right, bottom of the normal (restored) geometry, right = left + width and
//              bottom = top + height. Read back, it is moved (and shrunk where needed) into the
//              available area of a screen, so a window never opens where no screen is.
class WindowPlacement {
public:
    // The screen the window is placed on; tests substitute their own.
    struct Screen {
        int pixelsPerInch = 96;
        QSize size;
        QRect available; // where windows may lie; the whole size from 0,0 when not set
    };
    using ScreenSource = std::function<Screen()>;

    // The settings file is the program folder's "pxt.ini" until setIniFileName() says otherwise.
    // A failure to write is reported through the dialogs.
    WindowPlacement(QWidget* window, QString section, Dialogs& dialogs);

    void setIniFileName(const QString& path) { m_iniFileName = path; }
    QString iniFileName() const { return m_iniFileName; }
    void setScreenSource(ScreenSource source) { m_screen = std::move(source); }

    void addIntProperty(const QString& key, std::function<int()> get, std::function<void(int)> set);

    // Reads the section and applies it to the window (when it is shown). Reading never fails.
    void restore();
    // Writes the section: at close (destroying false, Visible "0") and while the window is destroyed
    // (destroying true, Visible "1"; skipped when the section was written since the last showing).
    // Nothing is written before the section was read once. A failure to write is reported in the
    // error box and returns false; it never throws.
    bool save(bool destroying);

    // The last restore() placed the window from the file.
    bool placementApplied() const { return m_placementApplied; }

private:
    struct Property {
        QString key;
        std::function<int()> get;
        std::function<void(int)> set;
    };
    Screen currentScreen() const;
    // The area a window of this normal geometry is kept inside: the screen it lies on.
    QRect availableArea(const QRect& wanted) const;
    void write(bool destroying);

    QWidget* m_window;
    QString m_section;
    Dialogs& m_dialogs;
    QString m_iniFileName;
    ScreenSource m_screen;
    std::vector<Property> m_properties;
    bool m_read = false;
    bool m_saved = false;
    bool m_placementApplied = false;
};

} // namespace pxt
