#pragma once
// The parts the panes and the main window share: the bold navy caption of the title bar, the flat
// tool buttons (the panes' Stop and Reload, the main window's tools) and the sunken status line.

#include <QStyle>
#include <QString>

class QLabel;
class QToolButton;
class QWidget;

namespace pxt {

QLabel* paneCaption(const QString& text, QWidget* parent);
// A flat 25 by 25 tool button with a theme icon, the style's own one where the theme has none.
QToolButton* flatToolButton(QWidget* parent, const QString& name, const QString& hint, const QString& themeIcon,
                            QStyle::StandardPixmap fallback);
// The panes' Stop and Reload buttons, with 16 by 16 icons.
QToolButton* paneStopButton(QWidget* parent);
QToolButton* paneReloadButton(QWidget* parent);
QLabel* paneStatusLine(QWidget* parent);
// F5 clicks the pane's Reload button and Escape its Stop button while the focus is inside the pane.
void addPaneKeys(QWidget* pane, QToolButton* stop, QToolButton* reload);

} // namespace pxt
