#pragma once

#include <QProcess>
#include <QRgb>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// An Xvfb server of our own whose screen is a file (-fbdir) mapped into this process: reading a
// pixel costs no round trip to the server, and it is exactly what the server shows. The server
// dies with the process that started it, even by a test's timeout.
class XvfbScreen
{
public:
    XvfbScreen() = default;
    ~XvfbScreen();
    XvfbScreen(const XvfbScreen &) = delete;
    XvfbScreen &operator=(const XvfbScreen &) = delete;

    // Starts the server with one screen of this size at 24 bits, black root window, and any
    // further options of Xvfb's.
    bool start(int width, int height, const QStringList &options = {});
    QString display() const { return m_display; }
    QString error() const { return m_error; }

    int width() const { return m_width; }
    int height() const { return m_height; }
    QRgb pixel(int x, int y) const
    {
        return *reinterpret_cast<const quint32 *>(m_pixels + y * m_bytesPerLine + x * 4) |
               0xff000000u;
    }

private:
    bool mapScreen();

    std::unique_ptr<QProcess> m_server;
    QTemporaryDir m_directory;
    QString m_display;
    QString m_error;
    uchar *m_map = nullptr;
    qint64 m_mapSize = 0;
    const uchar *m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_bytesPerLine = 0;
};
