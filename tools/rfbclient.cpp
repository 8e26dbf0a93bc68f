#include "rfbclient.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

RfbClient::~RfbClient()
{
    disconnect();
}

void RfbClient::disconnect()
{
    if (m_socket >= 0)
        close(m_socket);
    m_socket = -1;
}

bool RfbClient::fail(const QString &why)
{
    m_error = why;
    disconnect();
    return false;
}

// A signal handled in this process, such as Qt's SIGCHLD when a child process of the test ends,
// interrupts a wait or a transfer: that is neither a timeout nor a broken connection.
bool RfbClient::readExactly(void *buffer, size_t size, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    auto *bytes = static_cast<char *>(buffer);
    while (size > 0) {
        pollfd descriptor{m_socket, POLLIN, 0};
        const int ready = poll(&descriptor, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = read(m_socket, bytes, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return fail("connection closed");
        bytes += got;
        size -= size_t(got);
    }
    return true;
}

bool RfbClient::sendAll(const void *buffer, size_t size)
{
    const auto *bytes = static_cast<const char *>(buffer);
    while (size > 0) {
        const ssize_t sent = write(m_socket, bytes, size);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return fail("write failed");
        bytes += sent;
        size -= size_t(sent);
    }
    return true;
}

bool RfbClient::connectTo(quint16 port)
{
    disconnect();
    m_socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_socket < 0 ||
        ::connect(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        disconnect();
        return false;
    }
    const int on = 1;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    char version[12];
    if (!readExactly(version, sizeof version, 5000) || std::memcmp(version, "RFB 003.", 8) != 0)
        return fail("no RFB greeting");
    // Version 3.3: the server picks the security type, and "none" needs no further words.
    if (!sendAll("RFB 003.003\n", 12))
        return false;
    quint8 security[4];
    if (!readExactly(security, 4, 5000) || qFromBigEndian<quint32>(security) != 1)
        return fail("the server wants authentication");
    const quint8 shared = 1;
    quint8 init[24];
    if (!sendAll(&shared, 1) || !readExactly(init, sizeof init, 5000))
        return fail("no server initialisation");
    const int width = qFromBigEndian<quint16>(init);
    const int height = qFromBigEndian<quint16>(init + 2);
    std::vector<char> name(qFromBigEndian<quint32>(init + 20));
    if (!readExactly(name.data(), name.size(), 5000))
        return fail("no desktop name");
    m_framebuffer = QImage(width, height, QImage::Format_RGB32);
    m_framebuffer.fill(Qt::black);

    // 32 bits a pixel, little-endian true colour 0x00RRGGBB: the layout of a QImage::Format_RGB32.
    const quint8 pixelFormat[20] = {0, 0, 0, 0, 32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0};
    const quint8 encodings[8] = {2, 0, 0, 1, 0, 0, 0, 0}; // raw only
    return sendAll(pixelFormat, sizeof pixelFormat) && sendAll(encodings, sizeof encodings) &&
           requestUpdate(false);
}

bool RfbClient::requestUpdate(bool incremental)
{
    quint8 request[10] = {3, quint8(incremental), 0, 0, 0, 0};
    qToBigEndian<quint16>(quint16(m_framebuffer.width()), request + 6);
    qToBigEndian<quint16>(quint16(m_framebuffer.height()), request + 8);
    return sendAll(request, sizeof request);
}

bool RfbClient::readUpdate(int timeoutMs)
{
    if (m_socket < 0)
        return false;
    quint8 type;
    if (!readExactly(&type, 1, timeoutMs))
        return false;
    if (type == 2) // bell
        return true;
    if (type != 0)
        return fail(QString("unexpected server message %1").arg(type));
    quint8 header[3];
    if (!readExactly(header, 3, 5000))
        return fail("short update");
    const int rectangles = qFromBigEndian<quint16>(header + 1);
    for (int i = 0; i < rectangles; ++i) {
        quint8 rectangle[12];
        if (!readExactly(rectangle, sizeof rectangle, 5000))
            return fail("short rectangle");
        const int x = qFromBigEndian<quint16>(rectangle);
        const int y = qFromBigEndian<quint16>(rectangle + 2);
        const int w = qFromBigEndian<quint16>(rectangle + 4);
        const int h = qFromBigEndian<quint16>(rectangle + 6);
        if (qFromBigEndian<qint32>(rectangle + 8) != 0 || x + w > m_framebuffer.width() ||
            y + h > m_framebuffer.height())
            return fail("rectangle not raw or outside the framebuffer");
        for (int row = y; row < y + h; ++row)
            if (!readExactly(m_framebuffer.scanLine(row) + 4 * x, size_t(4 * w), 5000))
                return fail("short pixel data");
    }
    return requestUpdate(true);
}

bool RfbClient::waitForQuiet(int quietMs, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!clock.hasExpired(timeoutMs)) {
        if (!readUpdate(quietMs))
            return m_socket >= 0;
    }
    return false;
}

bool RfbClient::sendKey(quint32 keysym, bool down)
{
    if (m_socket < 0)
        return false;
    quint8 event[8] = {4, quint8(down), 0, 0};
    qToBigEndian<quint32>(keysym, event + 4);
    return sendAll(event, sizeof event);
}

bool RfbClient::sendPointer(int x, int y, quint8 buttons)
{
    if (m_socket < 0)
        return false;
    quint8 event[6] = {5, buttons};
    qToBigEndian<quint16>(quint16(x), event + 2);
    qToBigEndian<quint16>(quint16(y), event + 4);
    return sendAll(event, sizeof event);
}

quint16 RfbClient::freePort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(probe);
    return port;
}
