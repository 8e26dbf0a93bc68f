#pragma once

#include <QImage>
#include <QString>

// The least of an RFB (VNC) viewer: no authentication, raw encoding, 32-bit pixels, and the
// framebuffer kept as an image that each update from the server paints into; keys and pointer
// buttons go the other way. Enough to watch and drive a Qt program on the vnc platform, which
// draws through the same framebuffer window code as linuxfb.
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
    // Keeps reading updates until none arrives for quietMs, or until timeoutMs have passed
    // (false then, or when the connection failed).
    bool waitForQuiet(int quietMs, int timeoutMs);
    const QImage &framebuffer() const { return m_framebuffer; }
    // X keysyms, as RFB sends keys: 0xffbe is F1, 0xff0d Return, 0xff1b Escape.
    bool sendKey(quint32 keysym, bool down);
    bool clickKey(quint32 keysym) { return sendKey(keysym, true) && sendKey(keysym, false); }
    // Button mask bit 0 is the left button; a touch panel reports as that button.
    bool sendPointer(int x, int y, quint8 buttons);
    bool click(int x, int y) { return sendPointer(x, y, 1) && sendPointer(x, y, 0); }
    QString error() const { return m_error; }
    void disconnect();

    // A loopback port nobody listens on now, for the vnc platform of a program started next.
    static quint16 freePort();

private:
    bool readExactly(void *buffer, size_t size, int timeoutMs);
    bool sendAll(const void *buffer, size_t size);
    bool requestUpdate(bool incremental);
    bool fail(const QString &why);

    int m_socket = -1;
    QImage m_framebuffer;
    QString m_error;
};
