#include "app/automationhook.h"
#include "app/commandline.h"
#include "mainwindow/pdfviewer.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    loadAutomationPlugin(5014, &application);

    const CommandLineChoices choices = parseCommandLine(argc, argv);

    PDFViewer viewer(nullptr, choices.openButtonEnabled);
    if (choices.fileGiven)
        viewer.setFileToLoad(choices.fileName.c_str());
    viewer.show();
    return application.exec();
}
