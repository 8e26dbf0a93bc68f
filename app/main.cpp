#include "app/automationhook.h"
#include "app/commandline.h"
#include "app/mallocarena.h"
#include "app/sessionbus.h"
#include "app/standardstreams.h"
#include "app/windowplacement.h"
#include "base/startuptrace.h"
#include "mainwindow/pdfviewer.h"
#include "pageview/opentrial.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    keepStandardStreamsOpen();
    keepOneMallocArena();
    startupTrace("main");
    // The widgets only ever rasterise. Without this a top-level widget on X asks for a surface
    // that OpenGL could draw into, and creating the window loads the GL integration and Mesa's
    // software driver: most of the start-up time and half the memory, for nothing.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    keepSessionBusFromAutolaunching();
    keepWindowPlacement();
    QApplication application(argc, argv);
    startupTrace("application created");
    loadAutomationPlugin(5014, &application);
    startupTrace("automation hook done");

    const CommandLineChoices choices = parseCommandLine(argc, argv);
    startupTrace("command line parsed");
    // Where memory is short, the document is opened in a child first: now, while the window is
    // made and the loading notice waits.
    if (choices.fileGiven)
        OpenTrial::startEarly(QFile::decodeName(choices.fileName.c_str()));
    const std::unique_ptr<QWindow> eglfsScreen = holdScreenOnEglfs();

    PDFViewer viewer(nullptr, choices.openButtonEnabled);
    startupTrace("window constructed");
    if (choices.fileGiven)
        viewer.setFileToLoad(choices.fileName.c_str());
    viewer.show();
    startupTrace("window shown");
    return application.exec();
}
