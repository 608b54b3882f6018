#include "browserhost/MessageBoxes.h"

#include "browserhost/Error.h"

#include <QApplication>
#include <QMessageBox>

namespace pxt {

namespace {
MessageHooks& hooks()
{
    static MessageHooks h;
    return h;
}

QWidget* boxParent() { return QApplication::activeWindow(); }
} // namespace

void reportError(const QString& text)
{
    if (hooks().error) {
        hooks().error(text);
        return;
    }
    QMessageBox::critical(boxParent(), QApplication::applicationDisplayName(), text);
}

void showInformation(const QString& text)
{
    if (hooks().information) {
        hooks().information(text);
        return;
    }
    QMessageBox::information(boxParent(), QApplication::applicationDisplayName(), text);
}

bool guarded(const std::function<void()>& fn)
{
    try {
        fn();
        return true;
    } catch (const Error& e) {
        reportError(e.text());
    } catch (const std::bad_alloc&) {
        reportError(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        reportError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        reportError(QStringLiteral("Unknown failure"));
    }
    return false;
}

void setMessageHooks(MessageHooks h) { hooks() = std::move(h); }

} // namespace pxt
