#pragma once

#include <poppler-qt5.h>

#include <QString>

#include <memory>

// A page opened as the viewer opens it, with Splash and antialiased text, so that Poppler's own
// render of it is what the viewer's must match.
struct OpenPage
{
    std::unique_ptr<Poppler::Document> document;
    std::unique_ptr<Poppler::Page> page;
};

inline OpenPage openPage(const QString &path, int index = 0)
{
    OpenPage open{std::unique_ptr<Poppler::Document>(Poppler::Document::load(path)), nullptr};
    if (open.document) {
        open.document->setRenderBackend(Poppler::Document::SplashBackend);
        open.document->setRenderHint(Poppler::Document::TextAntialiasing, true);
        open.page.reset(open.document->page(index));
    }
    return open;
}
