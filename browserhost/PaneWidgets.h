#pragma once
// The parts both panes share: the bold navy caption of the title bar, the flat Stop and Reload
// buttons and the sunken status line.

#include <QString>

class QLabel;
class QToolButton;
class QWidget;

namespace pxt {

QLabel* paneCaption(const QString& text, QWidget* parent);
// A flat 25 by 25 button with a theme icon, the style's own one where the theme has none.
QToolButton* paneStopButton(QWidget* parent);
QToolButton* paneReloadButton(QWidget* parent);
QLabel* paneStatusLine(QWidget* parent);

} // namespace pxt
