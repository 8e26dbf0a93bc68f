#include "base/softkeylook.h"

QPalette arrowPalette()
{
    QPalette palette;
    const QBrush arrow(QColor(0, 0, 127, 255), Qt::SolidPattern);
    const QBrush disabled(QColor(118, 118, 117, 255), Qt::SolidPattern);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setBrush(group, QPalette::WindowText, arrow);
        palette.setBrush(group, QPalette::Text, arrow);
        palette.setBrush(group, QPalette::ButtonText, arrow);
    }
    palette.setBrush(QPalette::Disabled, QPalette::WindowText, disabled);
    palette.setBrush(QPalette::Disabled, QPalette::Text, disabled);
    palette.setBrush(QPalette::Disabled, QPalette::ButtonText, disabled);
    return palette;
}

QFont arrowFont()
{
    QFont font;
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPointSize(36);
    font.setBold(true);
    font.setItalic(false);
    font.setStrikeOut(false);
    font.setKerning(true);
    return font;
}
