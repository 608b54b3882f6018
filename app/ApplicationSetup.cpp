#include "app/ApplicationSetup.h"

#include <QGuiApplication>
#include <QIcon>

namespace pxt {

void setUpApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Pixtrawl"));
    QGuiApplication::setDesktopFileName(kApplicationId);
    QGuiApplication::setWindowIcon(QIcon::fromTheme(kApplicationId));
}

} // namespace pxt
