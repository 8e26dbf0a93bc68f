#include "mainwindow/softkeystyle.h"

#include <QBoxLayout>
#include <QWidget>

#include <climits>

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
    font.setWeight(75);
    font.setItalic(false);
    font.setStrikeOut(false);
    font.setKerning(true);
    return font;
}

int softkeySpacing(int length, int softkeys)
{
    // With a single softkey per frame there are no gaps to spread, and the divisor would be 0.
    if (softkeys == 1)
        return 0;
    // 64-bit, so that absurd profile values give an absurd spacing rather than overflow.
    const long long spacing = (length - 50LL * softkeys) / (softkeys - 1LL);
    return int(qBound<long long>(INT_MIN, spacing, INT_MAX));
}

void appendPlaceholders(QWidget *holder, QBoxLayout *layout, int count)
{
    // No real device has more; a mistyped profile must not make the window build millions of
    // widgets before it can show anything.
    constexpr int maximumPlaceholders = 256;
    for (int i = 0; i < qMin(count, maximumPlaceholders); ++i) {
        auto *placeholder = new QWidget(holder);
        placeholder->resize(50, 50);
        layout->addWidget(placeholder);
    }
}
