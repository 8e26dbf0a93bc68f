#pragma once

#include <QImage>
#include <QString>

// The least of an RFB (VNC) viewer: no authentication, raw encoding, 32-bit pixels, and the
// framebuffer kept as an image that each update from the server paints into. Enough to watch
// what a Qt program on the vnc platform shows.
class RfbClient
{
public:
    RfbClient() = default;
    ~RfbClient();
    RfbClient(const RfbClient &) = delete;
    RfbClient &operator=(const RfbClient &) = delete;

    // One attempt to connect to 127.0.0.1:port and complete the handshake; asks for the whole
    // framebuffer. False while nobody listens there yet.
    bool connectTo(quint16 port);
    // Waits up to timeoutMs for one framebuffer update and applies it; asks for the next one.
    // False on a timeout or when the connection failed (then error() says why).
    bool readUpdate(int timeoutMs);
    const QImage &framebuffer() const { return m_framebuffer; }
    QString error() const { return m_error; }
    void disconnect();

private:
    bool readExactly(void *buffer, size_t size, int timeoutMs);
    bool sendAll(const void *buffer, size_t size);
    bool requestUpdate(bool incremental);
    bool fail(const QString &why);

    int m_socket = -1;
    QImage m_framebuffer;
    QString m_error;
};
