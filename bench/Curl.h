#pragma once

// What the client benchmarks share: a clock reading and curl fetching the same addresses, the figure
// the client is measured against.

#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace pxt::bench {

inline double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Milliseconds curl (HTTP/1.0, one process) takes for the addresses, with the extra options and a CA
// file to trust when given; ok is false when curl reported a failure. The bodies go into the folder
// when one is given (one file each, numbered), else nowhere.
inline double curlMs(const QStringList& urls, const QString& options, const QString& caFile, bool& ok,
                     const QString& folder = {})
{
    QTemporaryDir dir;
    const std::string config = (dir.path() + QStringLiteral("/urls.curl")).toStdString();
    {
        std::ofstream out(config);
        int n = 0;
        for (const QString& url : urls) {
            const std::string output = folder.isEmpty() ? std::string("/dev/null")
                                                        : (folder + QStringLiteral("/%1").arg(n++)).toStdString();
            out << "url = \"" << url.toStdString() << "\"\noutput = \"" << output << "\"\n";
        }
    }
    std::string command = "curl --http1.0 -s " + options.toStdString() + " -K '" + config + "'";
    if (!caFile.isEmpty())
        command += " --cacert '" + caFile.toStdString() + "'";
    command += " 2>/dev/null";
    const auto start = std::chrono::steady_clock::now();
    ok = std::system(command.c_str()) == 0;
    return msSince(start);
}

} // namespace pxt::bench
