#pragma once

#include <QStringList>

#include <iostream>
#include <sstream>

// What the viewer writes to standard output while this lives, as lines a test compares exactly.
class StdoutCapture
{
public:
    StdoutCapture() : previous(std::cout.rdbuf(buffer.rdbuf())) {}
    ~StdoutCapture() { std::cout.rdbuf(previous); }
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QStringList lines() const
    {
        // As the locale reads it: a file name that is not UTF-8 reads back as the viewer's path.
        QString text = QString::fromLocal8Bit(buffer.str().c_str());
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

private:
    std::ostringstream buffer;
    std::streambuf *previous;
};
