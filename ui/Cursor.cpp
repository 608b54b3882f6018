#include "ui/Cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace pxt {

void setScreenCursor(Qt::CursorShape shape)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    const bool overridden = QGuiApplication::overrideCursor() != nullptr;
    if (shape == Qt::ArrowCursor) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    } else if (overridden) {
        QGuiApplication::changeOverrideCursor(QCursor(shape));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(shape));
    }
}

} // namespace pxt
