#pragma once

class QWebEngineProfile;

namespace pxt {

class BrowserSession;

// Puts the session's borrowed cookies into the profile's cookie store as they come (and takes them
// out when the session is cleared), and gives the requests for the session's resources their
// Referer. One session per profile; both must live until the program ends.
void attachSession(QWebEngineProfile* profile, BrowserSession* session);

} // namespace pxt
