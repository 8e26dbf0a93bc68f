#include "xvfbscreen.h"

#include "childprocess.h"

#include <QFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

XvfbScreen::~XvfbScreen()
{
    if (m_map)
        munmap(m_map, size_t(m_mapSize));
    if (m_server) {
        m_server->kill();
        m_server->waitForFinished(5000);
    }
}

bool XvfbScreen::start(int width, int height, const QStringList &options)
{
    if (!m_directory.isValid()) {
        m_error = "no scratch directory";
        return false;
    }
    // -displayfd picks a free display number, so that parallel runs cannot collide.
    m_server = std::make_unique<ChildProcess>();
    m_server->start("Xvfb", QStringList{"-displayfd", "1", "-screen", "0",
                                        QString("%1x%2x24").arg(width).arg(height), "-br",
                                        "-nolisten", "tcp", "-fbdir", m_directory.path()} +
                                options);
    QByteArray number;
    while (!number.contains('\n') && m_server->waitForReadyRead(20000))
        number += m_server->readAllStandardOutput();
    if (!number.contains('\n')) {
        m_error = "Xvfb gave no display: " + m_server->errorString() + '\n' +
                  QString::fromLocal8Bit(m_server->readAllStandardError()).trimmed();
        return false;
    }
    m_display = ':' + QString::fromLatin1(number.trimmed());
    return mapScreen();
}

bool XvfbScreen::mapScreen()
{
    const QByteArray path = QFile::encodeName(m_directory.filePath("Xvfb_screen0"));
    const int file = open(path.constData(), O_RDONLY);
    struct stat status;
    if (file < 0 || fstat(file, &status) != 0) {
        m_error = "cannot open the screen file";
        if (file >= 0)
            close(file);
        return false;
    }
    m_mapSize = status.st_size;
    void *map = mmap(nullptr, size_t(m_mapSize), PROT_READ, MAP_SHARED, file, 0);
    close(file);
    if (map == MAP_FAILED) {
        m_error = "cannot map the screen file";
        return false;
    }
    m_map = static_cast<uchar *>(map);

    // An XWD file: a header of big-endian 32-bit fields, a colour map, then the pixels.
    const auto field = [this](int index) { return qFromBigEndian<quint32>(m_map + 4 * index); };
    const quint32 headerSize = field(0);
    m_width = int(field(4));
    m_height = int(field(5));
    const quint32 byteOrder = field(7);
    const quint32 bitsPerPixel = field(11);
    m_bytesPerLine = int(field(12));
    const quint32 colours = field(19);
    const qint64 offset = qint64(headerSize) + qint64(colours) * 12;
    if (bitsPerPixel != 32 || byteOrder != 0 ||
        offset + qint64(m_bytesPerLine) * m_height > m_mapSize) {
        m_error = "unexpected screen format";
        return false;
    }
    m_pixels = m_map + offset;
    return true;
}
