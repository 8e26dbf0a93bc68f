#pragma once

#include <QImage>
#include <QWidget>

// What a widget paints itself, without its children (the page-number overlay), in one pixel
// format so that grabs can be compared exactly.
inline QImage grabbedPixels(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

// A page view that painted nothing shows only its background, one colour everywhere; every test
// page has dark marks on white, so a drawn page never passes this.
inline bool isUniform(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return false;
    return true;
}
