// Fetches 1,000 picture addresses from a local server the way the size probe does (Get; on the first
// packet whose header holds "LENGTH": Disconnect), then the same addresses with curl in one process,
// and prints both times and their ratio.

#include "http/HttpClient.h"
#include "tests/support/Loopback.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPictures = 1000;
constexpr int kBodySize = 4096;
constexpr int kRounds = 3;

// Answers every request with a picture of kBodySize bytes and its Content-Length, then closes.
class PictureServer {
public:
    PictureServer()
    {
        m_listen = pxt::test::loopbackSocket(m_port, 128);
        m_response = "HTTP/1.0 200 OK\r\nServer: bench\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                     std::to_string(kBodySize) + "\r\n\r\n" + std::string(kBodySize, 'j');
        m_thread = std::thread([this] { run(); });
    }
    ~PictureServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    int port() const { return m_port; }

private:
    void run()
    {
        char buf[4096];
        while (!m_stop) {
            pollfd p {m_listen, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                request.append(buf, size_t(n));
            }
            size_t sent = 0;
            while (sent < m_response.size()) {
                const ssize_t n = ::send(fd, m_response.data() + sent, m_response.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += size_t(n);
            }
            ::close(fd);
        }
    }

    int m_listen = -1;
    quint16 m_port = 0;
    std::string m_response;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    PictureServer server;
    QStringList urls;
    for (int i = 0; i < kPictures; ++i)
        urls << QStringLiteral("http://127.0.0.1:%1/gallery/pic%2.jpg").arg(server.port()).arg(i, 4, 10, QLatin1Char('0'));

    double clientMs = 1e300;
    int lengths = 0;
    for (int round = 0; round < kRounds; ++round) {
        pxt::THttpClient client;
        lengths = 0;
        client.OnPacketRecvd = [&] {
            if (client.Header().toUpper().contains(QLatin1String("LENGTH"))) {
                ++lengths;
                client.Disconnect();
            }
        };
        const auto start = std::chrono::steady_clock::now();
        for (const QString& url : urls)
            client.Get(url);
        clientMs = std::min(clientMs, msSince(start));
    }

    QTemporaryDir dir;
    const std::string config = (dir.path() + QStringLiteral("/urls.curl")).toStdString();
    {
        std::ofstream out(config);
        for (const QString& url : urls)
            out << "url = \"" << url.toStdString() << "\"\noutput = \"/dev/null\"\n";
    }
    const std::string command = "curl --http1.0 -s -K '" + config + "'";
    double curlMs = 1e300;
    bool curlOk = true;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        curlOk = std::system(command.c_str()) == 0 && curlOk;
        curlMs = std::min(curlMs, msSince(start));
    }

    std::printf("requests:       %d (body %d bytes, best of %d rounds)\n", kPictures, kBodySize, kRounds);
    std::printf("THttpClient:    %.1f ms (%.3f ms per request, %d lengths seen)\n", clientMs, clientMs / kPictures,
                lengths);
    std::printf("curl --http1.0: %.1f ms (%.3f ms per request)%s\n", curlMs, curlMs / kPictures,
                curlOk ? "" : " [curl reported a failure]");
    std::printf("ratio:          %.2f (target at most 1.5)\n", clientMs / curlMs);
    return lengths == kPictures && curlOk ? 0 : 1;
}
