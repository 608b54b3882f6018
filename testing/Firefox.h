#pragma once

// A headless Firefox (firefox-esr) for tests: its own profile folder and, unless told otherwise, a
// WebDriver BiDi port on 127.0.0.1.

#include "testing/Chromium.h"

#include <QString>

namespace pxt::test {

// A port on 127.0.0.1 that nothing listens on now.
quint16 freeLoopbackPort();

// The arguments of a headless Firefox on url with the profile folder; with port 0, no debugging port.
QStringList headlessFirefoxArguments(const QString& profileDir, quint16 port, const QString& url);

// Starts headless Firefox on url with a debugging port of its own; false when it did not announce the
// port in time (WebDriverBiDiServer.json in the profile folder). port is set to the port.
bool startHeadlessFirefox(GroupProcess& firefox, const QString& profileDir, const QString& url, quint16& port,
                          int timeoutMs = 60000);

// Starts headless Firefox on url without a debugging port; false when it did not take its profile in
// time.
bool startHeadlessFirefoxWithoutPort(GroupProcess& firefox, const QString& profileDir, const QString& url,
                                     int timeoutMs = 60000);

} // namespace pxt::test
