#include "base/softkeyframe.h"

#include <QBoxLayout>
#include <QWidget>

#include <climits>

int softkeySpacing(int length, int softkeys)
{
    // With a single softkey per frame there are no gaps to spread, and the divisor would be 0.
    if (softkeys == 1)
        return 0;
    // 64-bit, so that absurd profile values give an absurd spacing rather than overflow.
    const long long spacing = (length - 50LL * softkeys) / (softkeys - 1LL);
    return int(qBound<long long>(INT_MIN, spacing, INT_MAX));
}

void appendPlaceholders(QWidget *holder, QBoxLayout *layout, int frameSlots, int taken)
{
    // Compared before it is subtracted: a profile's count saturates at INT_MIN. No real device
    // has more than a few hundred; a mistyped profile must not make the window build millions
    // of widgets before it can show anything.
    constexpr int maximumPlaceholders = 256;
    const int count = frameSlots > taken ? qMin(frameSlots - taken, maximumPlaceholders) : 0;
    for (int i = 0; i < count; ++i) {
        auto *placeholder = new QWidget(holder);
        placeholder->resize(50, 50);
        layout->addWidget(placeholder);
    }
}
