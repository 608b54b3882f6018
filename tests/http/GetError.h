#pragma once

#include "core/Error.h"
#include "http/HttpClient.h"

namespace pxt::test {

// The error text Get ends with; empty when it ended without one.
inline QString getError(HttpClient& client, const QString& url)
{
    try {
        client.get(url);
    } catch (const Error& e) {
        return e.text();
    }
    return {};
}

} // namespace pxt::test
