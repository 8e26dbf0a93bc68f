#include "pageview/popplermessages.h"

#include <poppler-qt5.h>

#include <QCoreApplication>
#include <QDebug>

#include <cstdio>

namespace {

constexpr int shownPerStretch = 10;

// Reports since the event loop last turned.
long long stretchReports = 0;

void endStretch()
{
    if (stretchReports > shownPerStretch) {
        std::fprintf(stderr, "page-scope: %lld more messages from Poppler not shown\n",
                     stretchReports - shownPerStretch);
        std::fflush(stderr);
    }
    stretchReports = 0;
}

void report(const QString &message, const QVariant &)
{
    if (stretchReports++ == 0)
        QMetaObject::invokeMethod(QCoreApplication::instance(), endStretch, Qt::QueuedConnection);
    if (stretchReports <= shownPerStretch)
        qDebug() << message; // as Poppler's own function writes it
}

} // namespace

void limitPopplerMessages()
{
    Poppler::setDebugErrorFunction(report, QVariant());
}
