#pragma once

#include <QString>
#include <exception>
#include <functional>

namespace pxt {

// The application's general error report: a message box with the failure's text. Handlers that Qt
// calls (slots, events) run their work through guarded(), so no exception ever reaches the event loop.
void reportError(const QString& text);

// A message of the system's own: information icon, one OK button ("Nothing selected!").
void showInformation(const QString& text);

// Runs fn; a failure of any kind ends it and is reported. Returns false when it failed.
bool guarded(const std::function<void()>& fn);

// Tests replace the boxes by recorders. Empty hooks restore the real boxes.
struct MessageHooks {
    std::function<void(const QString&)> error;
    std::function<void(const QString&)> information;
};
void setMessageHooks(MessageHooks hooks);

} // namespace pxt
