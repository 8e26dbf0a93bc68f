#pragma once

#include <poppler-qt5.h>

// How the viewer has Poppler render a document: Splash, with antialiased text. The benchmarks'
// floors render the same way, so that they do the viewer's work and no other.
inline void useViewerRenderSettings(Poppler::Document &document)
{
    document.setRenderBackend(Poppler::Document::SplashBackend);
    document.setRenderHint(Poppler::Document::TextAntialiasing, true);
}

// The resolution a document opens at, for the width of the window.
inline double defaultResolution(int windowWidth)
{
    if (windowWidth < 500)
        return 48.0;
    if (windowWidth <= 800)
        return 80.0;
    return 100.0;
}
