// Writes page-scope-guide.pdf, the quick guide that ships with the viewer as its sample document.
// Everything is painted here with QPdfWriter, so the build needs no PDF tools.
//
// The guide is read on a 480 x 272 screen at 48 dpi, where one point is two thirds of a pixel:
// body text is 22 points (about 15 pixels) and headings are larger still.

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPolygonF>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor Ink(0x1a, 0x1a, 0x1a);
const QColor Accent(0x15, 0x65, 0xc0);
const QColor ArrowBlue(0, 0, 127);
const QColor Paper(0xf4, 0xf4, 0xf0);
const QColor ButtonGrey(0xe0, 0xe0, 0xe0);
const QColor Folder(0xf7, 0xc1, 0x36);
const QColor FolderBack(0xc9, 0x8a, 0x0a);
const QColor Red(0xd3, 0x2f, 0x2f);

const QString Sans = QStringLiteral("DejaVu Sans");
const QString Mono = QStringLiteral("DejaVu Sans Mono");

QFont font(const QString &family, int pixels, bool bold = false)
{
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

enum class Icon { Open, Close, ZoomIn, ZoomOut, Left, Right, Up, Down };

// The softkey icons, drawn from the same 48 x 48 outlines as the SVG files in images/.
void drawIcon(QPainter &p, Icon icon, const QRectF &box)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 48.0, box.height() / 48.0);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen outline(Ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (icon) {
    case Icon::Open: {
        p.setPen(outline);
        p.setBrush(FolderBack);
        p.drawPolygon(QPolygonF({{4, 9}, {17, 9}, {21, 13}, {38, 13}, {38, 40}, {4, 40}}));
        p.setBrush(Folder);
        p.drawPolygon(QPolygonF({{4, 40}, {11, 20}, {45, 20}, {38, 40}}));
        break;
    }
    case Icon::Close:
        p.setPen(QPen(Ink, 11, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(38, 38));
        p.drawLine(QPointF(38, 10), QPointF(10, 38));
        p.setPen(QPen(Red, 6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(38, 38));
        p.drawLine(QPointF(38, 10), QPointF(10, 38));
        break;
    case Icon::ZoomIn:
    case Icon::ZoomOut:
        p.setPen(QPen(Ink, 8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(29, 29), QPointF(42, 42));
        p.setPen(QPen(Ink, 4));
        p.setBrush(QColor(0xe3, 0xf0, 0xfb));
        p.drawEllipse(QPointF(20, 20), 14, 14);
        p.setPen(QPen(Accent, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 20), QPointF(28, 20));
        if (icon == Icon::ZoomIn)
            p.drawLine(QPointF(20, 12), QPointF(20, 28));
        break;
    case Icon::Left:
    case Icon::Right:
    case Icon::Up:
    case Icon::Down: {
        // A hollow block arrow pointing right, turned for the other directions.
        const qreal angle = icon == Icon::Right  ? 0
                            : icon == Icon::Down ? 90
                            : icon == Icon::Left ? 180
                                                 : 270;
        p.translate(24, 24);
        p.rotate(angle);
        p.translate(-24, -24);
        p.setPen(QPen(ArrowBlue, 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::white);
        p.drawPolygon(
            QPolygonF({{6, 17}, {26, 17}, {26, 7}, {43, 24}, {26, 41}, {26, 31}, {6, 31}}));
        break;
    }
    }
    p.restore();
}

void drawButton(QPainter &p, const QRectF &box, Icon icon)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1.2));
    p.setBrush(ButtonGrey);
    p.drawRoundedRect(box, box.width() * 0.12, box.width() * 0.12);
    p.restore();
    const qreal inset = box.width() * 0.1;
    drawIcon(p, icon, box.adjusted(inset, inset, -inset, -inset));
}

void drawArrow(QPainter &p, QPointF from, QPointF to, const QColor &colour, qreal width = 4)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QLineF line(from, to);
    const QLineF back(to, from);
    const qreal head = width * 3.5;
    QLineF side1 = QLineF::fromPolar(head, back.angle() + 30).translated(to);
    QLineF side2 = QLineF::fromPolar(head, back.angle() - 30).translated(to);
    p.drawLine(line);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({to, side1.p2(), side2.p2()}));
    p.restore();
}

// A miniature page: white sheet with a heading bar and grey lines of "text".
void drawMiniPage(QPainter &p, const QRectF &r, const QString &label = QString())
{
    p.save();
    p.setPen(QPen(Ink, 1.5));
    p.setBrush(Qt::white);
    p.drawRect(r);
    const qreal m = r.width() * 0.1;
    p.fillRect(QRectF(r.left() + m, r.top() + m, r.width() - 2 * m, r.height() * 0.06), Accent);
    p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), std::max<qreal>(1.0, r.height() * 0.012)));
    for (qreal y = r.top() + m + r.height() * 0.14; y < r.bottom() - m; y += r.height() * 0.06)
        p.drawLine(QPointF(r.left() + m, y), QPointF(r.right() - m, y));
    if (!label.isEmpty()) {
        p.setPen(Ink);
        p.setFont(font(Sans, int(r.width() * 0.3), true));
        QRectF badge(r.center() - QPointF(r.width() * 0.3, r.width() * 0.22),
                     QSizeF(r.width() * 0.6, r.width() * 0.44));
        p.fillRect(badge, Qt::white);
        p.drawText(badge, Qt::AlignCenter, label);
    }
    p.restore();
}

// The device as the guide shows it: screen with both softkey columns, a page in the view and the
// default hardware key next to every softkey.
void drawDevice(QPainter &p, const QRectF &area, bool keyLabels)
{
    // The widest device that fits the area, centred in it.
    const qreal bandRatio = keyLabels ? 0.11 : 0.05;
    const qreal border = 0.06;
    const qreal byWidth = area.width() / (1 + 2 * bandRatio);
    const qreal byHeight = area.height() / (272.0 / 480.0 + 2 * border);
    const qreal screenWidth = std::min(byWidth, byHeight);
    const qreal keyBand = screenWidth * bandRatio;
    const QSizeF bodySize(screenWidth + 2 * keyBand, screenWidth * (272.0 / 480.0 + 2 * border));
    const QRectF body(area.center() - QPointF(bodySize.width() / 2, bodySize.height() / 2),
                      bodySize);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x3f, 0x47));
    p.drawRoundedRect(body, 14, 14);

    const qreal scale = screenWidth / 480.0;
    const QRectF screen(body.left() + keyBand, body.center().y() - 136 * scale, screenWidth,
                        272 * scale);
    p.setBrush(Paper);
    p.drawRect(screen);

    auto at = [&](qreal x, qreal y, qreal w, qreal h) {
        return QRectF(screen.left() + x * scale, screen.top() + y * scale, w * scale, h * scale);
    };
    // Page view with a page and its two scroll bars, as on the default device.
    p.save();
    p.setClipRect(at(52, 0, 361, 257));
    p.fillRect(at(52, 0, 361, 257), QColor(0x90, 0x90, 0x90));
    drawMiniPage(p, at(60, 8, 330, 470));
    p.restore();
    p.fillRect(at(413, 0, 15, 272), QColor(0xc8, 0xc8, 0xc8));
    p.fillRect(at(415, 30, 11, 40), QColor(0x70, 0x70, 0x70));
    p.fillRect(at(53, 257, 360, 15), QColor(0xc8, 0xc8, 0xc8));
    p.fillRect(at(60, 259, 120, 11), QColor(0x70, 0x70, 0x70));

    const Icon left[] = {Icon::Close, Icon::ZoomIn, Icon::ZoomOut, Icon::Left};
    const Icon right[] = {Icon::Open, Icon::Up, Icon::Down, Icon::Right};
    const char *leftKeys[] = {"F8", "F7", "F6", "F5"};
    const char *rightKeys[] = {"F1", "F2", "F3", "F4"};
    p.setFont(font(Sans, int(keyBand * 0.42), true));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 11 + i * 66;
        const QRectF l = at(1, y, 50, 50);
        const QRectF r = at(429, y, 50, 50);
        drawButton(p, l, left[i]);
        drawButton(p, r, right[i]);
        if (keyLabels) {
            // Hardware keys beside the screen, each next to the softkey it stands for.
            const QRectF lk(body.left() + keyBand * 0.12, l.center().y() - keyBand * 0.38,
                            keyBand * 0.76, keyBand * 0.76);
            const QRectF rk(body.right() - keyBand * 0.88, r.center().y() - keyBand * 0.38,
                            keyBand * 0.76, keyBand * 0.76);
            for (const QRectF &k : {lk, rk}) {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(0x60, 0x66, 0x70));
                p.drawRoundedRect(k, 4, 4);
            }
            p.setPen(Qt::white);
            p.drawText(lk, Qt::AlignCenter, QString::fromLatin1(leftKeys[i]));
            p.drawText(rk, Qt::AlignCenter, QString::fromLatin1(rightKeys[i]));
        }
    }
    p.restore();
}

// A screen outline with softkey slots, for the frame arrangements.
void drawFrameSketch(QPainter &p, const QRectF &r, bool onSide, int frames, int slotCount)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Ink, 2));
    p.setBrush(Paper);
    p.drawRect(r);
    const qreal slot = (onSide ? r.height() : r.width()) / (slotCount * 1.6);
    auto drawSlots = [&](const QRectF &strip, int count) {
        for (int i = 0; i < count; ++i) {
            QRectF s;
            if (onSide) {
                const qreal gap = (strip.height() - count * slot) / (count + 1);
                s = QRectF(strip.center().x() - slot / 2, strip.top() + gap + i * (slot + gap),
                           slot, slot);
            } else {
                const qreal gap = (strip.width() - count * slot) / (count + 1);
                s = QRectF(strip.left() + gap + i * (slot + gap), strip.center().y() - slot / 2,
                           slot, slot);
            }
            p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
            p.setBrush(ButtonGrey);
            p.drawRoundedRect(s, 2, 2);
        }
    };
    const qreal band = slot * 1.4;
    QRectF page = r;
    if (onSide) {
        drawSlots(QRectF(r.right() - band, r.top(), band, r.height()), slotCount);
        page.setRight(r.right() - band);
        if (frames == 2) {
            drawSlots(QRectF(r.left(), r.top(), band, r.height()), slotCount);
            page.setLeft(r.left() + band);
        }
    } else {
        drawSlots(QRectF(r.left(), r.bottom() - band, r.width(), band), slotCount);
        page.setBottom(r.bottom() - band);
        if (frames == 2) {
            drawSlots(QRectF(r.left(), r.top(), r.width(), band), slotCount);
            page.setTop(r.top() + band);
        }
    }
    p.fillRect(page.adjusted(3, 3, -3, -3), QColor(0x90, 0x90, 0x90));
    p.restore();
}

// Places headings, paragraphs, tables and diagrams down a page and draws the page furniture.
class Guide
{
public:
    Guide(QPdfWriter &writer, QPainter &painter, int pageCount)
        : writer(writer), p(painter), pageCount(pageCount),
          size(writer.pageLayout().fullRectPoints().size())
    {
    }

    bool overflowed() const { return overflow; }

    // Checks that the page just written kept clear of the footer.
    void finishPage()
    {
        if (y > ContentBottom) {
            overflow = true;
            std::fprintf(stderr, "make-sample-document: page %d runs %.0f points too long\n", page,
                         y - ContentBottom);
        }
    }

    void beginPage(const QString &title)
    {
        if (page > 0) {
            finishPage();
            writer.newPage();
        }
        ++page;
        p.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
        p.fillRect(QRectF(0, 0, size.width(), 78), Accent);
        p.setPen(Qt::white);
        p.setFont(font(Sans, 34, true));
        p.drawText(QRectF(Margin, 12, width(), 58), Qt::AlignLeft | Qt::AlignVCenter, title);
        drawFooter();
        y = 104;
    }

    // The title page has no heading band.
    void beginTitlePage()
    {
        if (page > 0) {
            finishPage();
            writer.newPage();
        }
        ++page;
        drawFooter();
        y = 40;
    }

    void title(const QString &text, int pixels, const QColor &colour)
    {
        p.setFont(font(Sans, pixels, true));
        p.setPen(colour);
        const QRectF r = p.boundingRect(QRectF(Margin, y, width(), 1000), Qt::TextWordWrap, text);
        p.drawText(QRectF(Margin, y, width(), r.height()), Qt::TextWordWrap, text);
        advance(r.height() + 8);
    }

    void subheading(const QString &text)
    {
        advance(6);
        title(text, 26, Accent);
    }

    void paragraph(const QString &text, int pixels = BodySize)
    {
        textBlock(Margin, width(), text, font(Sans, pixels));
        advance(10);
    }

    void bullet(const QString &text)
    {
        p.setBrush(Accent);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(Margin + 7, y + BodySize * 0.62), 5, 5);
        textBlock(Margin + 24, width() - 24, text, font(Sans, BodySize));
        advance(8);
    }

    // Rows of (term, explanation) with the terms in a column of the given width.
    void table(const QList<QStringList> &rows, qreal termWidth, const QFont &termFont)
    {
        bool shade = false;
        for (const QStringList &row : rows) {
            const QFont body = font(Sans, BodySize);
            const qreal bodyLeft = Margin + termWidth;
            const qreal h = std::max(measure(termWidth - 8, row.at(0), termFont),
                                     measure(width() - termWidth - 8, row.mid(1).join(' '), body)) +
                            10;
            if (shade)
                p.fillRect(QRectF(Margin - 6, y, width() + 12, h), QColor(0xee, 0xf3, 0xfa));
            shade = !shade;
            p.setPen(Ink);
            p.setFont(termFont);
            p.drawText(QRectF(Margin, y + 5, termWidth - 8, h), Qt::TextWordWrap, row.at(0));
            p.setFont(body);
            p.drawText(QRectF(bodyLeft, y + 5, width() - termWidth - 8, h), Qt::TextWordWrap,
                       row.mid(1).join(' '));
            advance(h);
        }
        advance(12);
    }

    // Several fixed columns, no wrapping; the first row is the header.
    void grid(const QList<QStringList> &rows, const QList<qreal> &columns,
              const QList<QFont> &fonts)
    {
        const qreal h = BodySize + 14;
        for (int r = 0; r < rows.size(); ++r) {
            if (r == 0) {
                p.fillRect(QRectF(Margin - 6, y, width() + 12, h), Accent);
            } else if (r % 2 == 0) {
                p.fillRect(QRectF(Margin - 6, y, width() + 12, h), QColor(0xee, 0xf3, 0xfa));
            }
            qreal x = Margin;
            for (int c = 0; c < rows.at(r).size(); ++c) {
                p.setPen(r == 0 ? Qt::white : Ink);
                p.setFont(r == 0 ? font(Sans, BodySize, true) : fonts.at(c));
                p.drawText(QRectF(x, y, columns.at(c), h), Qt::AlignLeft | Qt::AlignVCenter,
                           rows.at(r).at(c));
                x += columns.at(c);
            }
            advance(h);
        }
        advance(12);
    }

    void code(const QStringList &lines, int pixels = 19)
    {
        const QFont f = font(Mono, pixels);
        const qreal lineHeight = QFontMetricsF(f, &writer).lineSpacing();
        const qreal h = lines.size() * lineHeight + 20;
        p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 1));
        p.setBrush(QColor(0xf2, 0xf2, 0xf2));
        p.drawRect(QRectF(Margin, y, width(), h));
        p.setPen(Ink);
        p.setFont(f);
        for (int i = 0; i < lines.size(); ++i)
            p.drawText(QRectF(Margin + 12, y + 10 + i * lineHeight, width() - 24, lineHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, lines.at(i));
        advance(h + 14);
    }

    // Hands out a strip of the page for a diagram.
    QRectF reserve(qreal height)
    {
        const QRectF r(Margin, y, width(), height);
        advance(height + 12);
        return r;
    }

    QPainter &painter() { return p; }
    qreal width() const { return size.width() - Margin - RightMargin; }

    static constexpr int BodySize = 22;
    // The left margin is narrow and the right one wide so that a full line of text fits the
    // default device's page view (353 pixels, 529 points at 48 dpi) without scrolling sideways.
    static constexpr qreal Margin = 28;
    static constexpr qreal RightMargin = 68;

private:
    qreal measure(qreal w, const QString &text, const QFont &f)
    {
        // QPainter measures nothing while the pen is NoPen.
        p.setPen(Ink);
        p.setFont(f);
        return p.boundingRect(QRectF(0, 0, w, 2000), Qt::TextWordWrap, text).height();
    }

    void textBlock(qreal x, qreal w, const QString &text, const QFont &f)
    {
        const qreal h = measure(w, text, f);
        p.setPen(Ink);
        p.drawText(QRectF(x, y, w, h), Qt::TextWordWrap, text);
        advance(h);
    }

    void advance(qreal h) { y += h; }

    void drawFooter()
    {
        const qreal top = size.height() - 52;
        p.setPen(QPen(Accent, 2));
        p.drawLine(QPointF(Margin, top), QPointF(Margin + width(), top));
        p.setPen(Ink);
        p.setFont(font(Sans, 18));
        p.drawText(QRectF(Margin, top + 6, width(), 36), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("page-scope quick guide"));
        p.setFont(font(Sans, 24, true));
        p.drawText(QRectF(Margin, top + 6, width(), 36), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("%1 / %2").arg(page).arg(pageCount));
    }

    static constexpr qreal ContentBottom = 842 - 62;

    QPdfWriter &writer;
    QPainter &p;
    int pageCount;
    QSizeF size;
    int page = 0;
    qreal y = 0;
    bool overflow = false;
};

struct Section
{
    QString title;
    std::function<void(Guide &)> write;
};

// The screen size with no-break spaces, so that it never splits across lines.
const QString ScreenSize = QStringLiteral("480\u00A0\u00D7\u00A0272");
const QString Dash = QStringLiteral("\u2013");
const QString Ellipsis = QStringLiteral("\u2026");

std::vector<Section> sections()
{
    std::vector<Section> s;

    s.push_back(
        {QStringLiteral("What page-scope is"), [](Guide &g) {
             g.paragraph(
                 QStringLiteral("page-scope is a PDF viewer for small devices with a %1 pixel "
                                "touch screen and hardware softkeys.")
                     .arg(ScreenSize));
             g.paragraph(QStringLiteral(
                 "It shows one page at a time. The page is rendered whole at the zoom "
                 "level, and the screen is a window onto it."));
             QRectF r = g.reserve(200);
             QPainter &p = g.painter();
             // Document, one page of it, and the part of that page on screen.
             for (int i = 3; i >= 0; --i)
                 drawMiniPage(p, QRectF(r.left() + 10 + i * 8, r.top() + 10 + i * 8, 110, 156));
             drawArrow(p, QPointF(r.left() + 170, r.center().y()),
                       QPointF(r.left() + 215, r.center().y()), Accent);
             const QRectF page(r.left() + 230, r.top(), 140, 198);
             drawMiniPage(p, page);
             const QRectF view(page.left() - 10, page.top() + 30, 160, 90);
             p.setPen(QPen(Red, 4));
             p.setBrush(Qt::NoBrush);
             p.drawRect(view);
             drawArrow(p, QPointF(view.right() + 10, view.center().y()),
                       QPointF(r.right() - 60, view.center().y()), Red);
             p.setPen(Ink);
             p.setFont(font(Sans, 20, true));
             p.drawText(QRectF(r.right() - 120, view.center().y() + 14, 120, 60),
                        Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("on the screen"));
             g.bullet(QStringLiteral("Scroll within the page with the arrows."));
             g.bullet(QStringLiteral("Scroll past the top or bottom edge to turn the "
                                     "page."));
             g.bullet(QStringLiteral("Zoom in and out in steps of 10 dpi."));

             g.bullet(QStringLiteral("Open other PDF files with the built-in file "
                                     "chooser, when the device enables it."));
             g.paragraph(QStringLiteral("Nothing is kept between runs: every document "
                                        "opens at page 1, unzoomed."));
         }});

    s.push_back({QStringLiteral("The softkeys"), [](Guide &g) {
                     drawDevice(g.painter(), g.reserve(250), true);
                     const qreal icon = 40;
                     auto row = [&](std::initializer_list<Icon> icons, const QString &text) {
                         QRectF r = g.reserve(icon + 4);
                         qreal x = r.left();
                         for (Icon i : icons) {
                             drawButton(g.painter(), QRectF(x, r.top(), icon, icon), i);
                             x += icon + 6;
                         }
                         g.painter().setPen(Ink);
                         g.painter().setFont(font(Sans, Guide::BodySize));
                         g.painter().drawText(QRectF(r.left() + 2 * (icon + 6) + 6, r.top(),
                                                     r.width() - 2 * (icon + 6) - 6, icon),
                                              Qt::AlignLeft | Qt::AlignVCenter, text);
                     };
                     row({Icon::Open}, QStringLiteral("Open another PDF file"));
                     row({Icon::Close}, QStringLiteral("Close page-scope"));
                     row({Icon::ZoomIn, Icon::ZoomOut}, QStringLiteral("Zoom in, zoom out"));
                     row({Icon::Up, Icon::Down}, QStringLiteral("Scroll up, down; turn pages"));
                     row({Icon::Left, Icon::Right}, QStringLiteral("Scroll left, right"));
                     g.paragraph(QStringLiteral(
                         "The open softkey works only when page-scope was started with -o. "
                         "Otherwise its slot stays blank."));
                 }});

    s.push_back({QStringLiteral("Hardware keys"), [](Guide &g) {
                     g.paragraph(QStringLiteral("The default keys of a device:"));
                     const QFont keyFont = font(Sans, Guide::BodySize, true);
                     g.table({{"F1", "Open a file (with -o)"},
                              {"F2", "Scroll up"},
                              {"F3", "Scroll down"},
                              {"F4", "Scroll right"},
                              {"Return", "Scroll right, like F4"},
                              {"F5", "Scroll left"},
                              {"F6", "Zoom out"},
                              {"F7", "Zoom in"},
                              {"F8", "Close page-scope"},
                              {"Home", "Close page-scope, like F8"}},
                             120, keyFont);
                     g.bullet(QStringLiteral("A key acts when you release it, not when you "
                                             "press it."));
                     g.bullet(QStringLiteral("The device profile can give every key another "
                                             "code (see \u201CKey codes\u201D)."));
                     g.bullet(QStringLiteral("Escape and every other unused key print the "
                                             "key code report (see \u201CFinding key "
                                             "codes\u201D)."));
                 }});

    s.push_back({QStringLiteral("Command line"), [](Guide &g) {
                     g.code({QStringLiteral("page-scope [options]")}, 22);
                     const QFont optionFont = font(Mono, 19, true);
                     g.table({{"-x N\n--x_position N", "Left edge of the window"},
                              {"-y N\n--y_position N", "Top edge of the window"},
                              {"-w N\n--width N", "Window width, 480 by default"},
                              {"-h N\n--height N", "Window height, 272 by default"},
                              {"-f PATH\n--file PATH", "PDF file to open at start"},
                              {"-o\n--open_button", "Enable the open softkey and key"}},
                             200, optionFont);
                     g.code({QStringLiteral("page-scope -o -f /media/manual.pdf")});
                     g.bullet(QStringLiteral("-h is the height: there is no help option."));
                     g.bullet(QStringLiteral("A file named without -f is ignored."));
                     g.paragraph(QStringLiteral("Long options may be shortened. These all set "
                                                "the width:"));
                     g.code({QStringLiteral("--width=800   --width 800   --wid=800")});
                 }});

    s.push_back(
        {QStringLiteral("Device profiles"), [](Guide &g) {
             g.paragraph(QStringLiteral("At start page-scope reads the pointer file"));
             g.code({QStringLiteral("/data/device_config.ini")});
             g.paragraph(QStringLiteral("Its config_file line names the device "
                                        "profile:"));
             g.code({QStringLiteral("[main]"), QStringLiteral("config_file=/etc/b7s.conf")});
             QRectF r = g.reserve(120);
             QPainter &p = g.painter();
             const QStringList boxes = {QStringLiteral("device_\nconfig.ini"),
                                        QStringLiteral("b7s.conf\nprofile"),
                                        QStringLiteral("keys and\nsoftkeys")};
             const qreal w = 140;
             const qreal gap = (r.width() - 3 * w) / 2;
             for (int i = 0; i < 3; ++i) {
                 const QRectF b(r.left() + i * (w + gap), r.top() + 10, w, 100);
                 p.setPen(QPen(Accent, 3));
                 p.setBrush(i == 2 ? QColor(0xe3, 0xf0, 0xfb) : Qt::white);
                 p.drawRoundedRect(b, 10, 10);
                 p.setPen(Ink);
                 p.setFont(font(Sans, 21, true));
                 p.drawText(b, Qt::AlignCenter, boxes.at(i));
                 if (i < 2)
                     drawArrow(p, QPointF(b.right() + 6, b.center().y()),
                               QPointF(b.right() + gap - 6, b.center().y()), Accent);
             }
             g.bullet(QStringLiteral("No pointer file: b7s.conf in the working folder "
                                     "is used."));
             g.bullet(QStringLiteral("No profile: the defaults in this guide apply."));
             g.bullet(QStringLiteral("One KEY=VALUE per line, with no blanks around "
                                     "the =. Lines starting with # are comments."));
             g.bullet(QStringLiteral("Numbers: decimal, hex (0x10) or octal (010)."));
         }});

    s.push_back({QStringLiteral("Softkey frames"), [](Guide &g) {
                     g.code({QStringLiteral("DEVICE=1"), QStringLiteral("NO_OF_SOFTKEY_FRAMES=2"),
                             QStringLiteral("SOFTKEY_FRAMES_ON_SIDE=TRUE"),
                             QStringLiteral("NO_OF_SOFTKEYS_PER_FRAME=4")});
                     g.bullet(QStringLiteral("DEVICE: 0 gives a window frame, other numbers "
                                             "none."));
                     g.bullet(QStringLiteral("NO_OF_SOFTKEY_FRAMES: 1 or 2 frames."));
                     g.bullet(QStringLiteral("SOFTKEY_FRAMES_ON_SIDE: exactly TRUE puts the "
                                             "frames beside the screen, anything else above "
                                             "and below it."));
                     g.bullet(QStringLiteral("NO_OF_SOFTKEYS_PER_FRAME: slots in a frame; "
                                             "blank slots fill up the rest."));
                     const qreal w = 200;
                     const qreal h = w * 272 / 480;
                     const QRectF r = g.reserve(2 * h + 34 + 28);
                     const qreal gapX = r.width() - 2 * w;
                     struct Case
                     {
                         bool side;
                         int frames;
                         int slotCount;
                         const char *label;
                     };
                     const Case cases[] = {{true, 2, 4, "beside, 2 frames"},
                                           {true, 1, 8, "beside, 1 frame"},
                                           {false, 2, 4, "above and below"},
                                           {false, 1, 8, "below, 1 frame"}};
                     for (int i = 0; i < 4; ++i) {
                         const QRectF box(r.left() + (i % 2) * (w + gapX),
                                          r.top() + (i / 2) * (h + 34), w, h);
                         drawFrameSketch(g.painter(), box, cases[i].side, cases[i].frames,
                                         cases[i].slotCount);
                         g.painter().setPen(Ink);
                         g.painter().setFont(font(Sans, 18, true));
                         g.painter().drawText(QRectF(box.left(), box.bottom() + 2, w, 28),
                                              Qt::AlignCenter, QString::fromLatin1(cases[i].label));
                     }
                 }});

    s.push_back({QStringLiteral("Key codes"), [](Guide &g) {
                     g.paragraph(QStringLiteral("The profile sets the code of every key. "
                                                "Defaults:"));
                     const QFont mono = font(Mono, 19, true);
                     const QFont sans = font(Sans, Guide::BodySize);
                     const QFont monoPlain = font(Mono, 19);
                     g.grid({{"Profile key", "Key", "Code"},
                             {"KEY_OPEN", "F1", "16777264"},
                             {"KEY_UP", "F2", "16777265"},
                             {"KEY_DOWN", "F3", "16777266"},
                             {"KEY_RIGHT", "F4", "16777267"},
                             {"KEY_LEFT", "F5", "16777268"},
                             {"KEY_ZOOM_OUT", "F6", "16777269"},
                             {"KEY_ZOOM_IN", "F7", "16777270"},
                             {"KEY_CLOSE", "F8", "16777271"},
                             {"KEY_HOME", "Home", "16777232"},
                             {"KEY_ENTER", "Return", "16777220"},
                             {"KEY_ESCAPE", "Escape", "16777216"}},
                            {200, 130, 185}, {mono, sans, monoPlain});
                     g.paragraph(QStringLiteral("These three lines all mean F1:"));
                     g.code({QStringLiteral("KEY_OPEN=16777264"),
                             QStringLiteral("KEY_OPEN=0x01000030"),
                             QStringLiteral("KEY_OPEN=0100000060")});
                 }});

    s.push_back({QStringLiteral("Finding key codes"), [](Guide &g) {
                     g.paragraph(QStringLiteral("Press Escape, or any key without a command. "
                                                "page-scope prints this report on its standard "
                                                "output:"));
                     g.code(
                         {QStringLiteral("UNKNOWN KEY CODE RECEIVED: 9"),
                          QStringLiteral("Known Keycodes are:"), QStringLiteral("OPEN: 16777264"),
                          QStringLiteral("CLOSE: 16777271"), QStringLiteral("LEFT: 16777268"),
                          QStringLiteral("RIGHT: 16777267"), QStringLiteral("UP: 16777265"),
                          QStringLiteral("DOWN: 16777266"), QStringLiteral("ZOOM_IN: 16777270"),
                          QStringLiteral("ZOOM_OUT: 16777269"), QStringLiteral("ENTER: 16777220"),
                          QStringLiteral("ESCAPE: 16777216"), QStringLiteral("HOME: 16777232")},
                         18);
                     g.bullet(QStringLiteral("The first line is the device's scan code of the "
                                             "key (here 9)."));
                     g.bullet(QStringLiteral("The list shows the codes now in use, so you can "
                                             "check a profile."));
                 }});

    s.push_back({QStringLiteral("Zoom"), [](Guide &g) {
                     g.paragraph(QStringLiteral("The zoom level is the resolution of the page in "
                                                "dots per inch: 10 to 300, in steps of 10."));
                     const QRectF r = g.reserve(150);
                     QPainter &p = g.painter();
                     const qreal left = r.left() + 10;
                     const qreal span = r.width() - 20;
                     auto xOf = [&](qreal dpi) { return left + (dpi - 10) / 290 * span; };
                     const qreal axis = r.top() + 70;
                     p.setRenderHint(QPainter::Antialiasing);
                     p.setPen(QPen(Ink, 3));
                     p.drawLine(QPointF(xOf(10), axis), QPointF(xOf(300), axis));
                     for (int dpi = 10; dpi <= 300; dpi += 10) {
                         const bool major = dpi == 10 || dpi % 50 == 0;
                         p.setPen(QPen(Ink, major ? 3 : 1.5));
                         p.drawLine(QPointF(xOf(dpi), axis - (major ? 14 : 8)),
                                    QPointF(xOf(dpi), axis + (major ? 14 : 8)));
                         if (major) {
                             p.setFont(font(Sans, 18));
                             p.drawText(QRectF(xOf(dpi) - 30, axis + 16, 60, 26), Qt::AlignCenter,
                                        QString::number(dpi));
                         }
                     }
                     for (int dpi : {48, 80, 100}) {
                         p.setPen(QPen(Red, 3));
                         p.setBrush(Red);
                         p.drawEllipse(QPointF(xOf(dpi), axis), 7, 7);
                         p.setFont(font(Sans, 18, true));
                         p.drawText(QRectF(xOf(dpi) - 30, axis - (dpi == 80 ? 66 : 46), 60, 24),
                                    Qt::AlignCenter, QString::number(dpi));
                     }
                     p.setPen(Ink);
                     p.setFont(font(Sans, 18));
                     p.drawText(QRectF(r.left(), axis + 48, r.width(), 28), Qt::AlignCenter,
                                QStringLiteral("red: where a document starts"));
                     g.table({{QStringLiteral("48"), QStringLiteral("screens below 500 pixels "
                                                                    "wide (%1)")
                                                         .arg(ScreenSize)},
                              {QStringLiteral("80"), QStringLiteral("500 to 800 pixels wide")},
                              {QStringLiteral("100"), QStringLiteral("wider than 800 pixels")}},
                             80, font(Sans, Guide::BodySize, true));
                     g.paragraph(QStringLiteral("From 48: zoom in gives 58, 68 %1 298, 300; "
                                                "zoom out gives 38, 28, 18, 10.")
                                     .arg(Ellipsis));
                     g.paragraph(QStringLiteral("One scroll step is as many pixels as the zoom "
                                                "level. A new document starts unzoomed."));
                 }});

    s.push_back({QStringLiteral("Turning pages"), [](Guide &g) {
                     const QRectF r = g.reserve(300);
                     QPainter &p = g.painter();
                     const QRectF page1(r.left() + 40, r.top(), 150, 140);
                     const QRectF page2(r.left() + 40, r.top() + 160, 150, 140);
                     drawMiniPage(p, page1, QStringLiteral("2"));
                     drawMiniPage(p, page2, QStringLiteral("3"));
                     // The view one step past the bottom of page 2, about to turn.
                     const QRectF view(page1.left() - 12, page1.bottom() - 60, 174, 90);
                     p.setPen(QPen(Red, 4));
                     p.setBrush(Qt::NoBrush);
                     p.drawRect(view);
                     drawArrow(p, QPointF(page1.right() + 40, page1.center().y()),
                               QPointF(page1.right() + 40, page2.center().y()), Red, 5);
                     // Vertical scroll bar: one slot per page, the slider on page 3 of 10.
                     const QRectF bar(r.right() - 40, r.top(), 26, 300);
                     p.fillRect(bar, QColor(0xc8, 0xc8, 0xc8));
                     p.fillRect(QRectF(bar.left() + 3, bar.top() + 2 * 30 + 2, 20, 26),
                                QColor(0x50, 0x50, 0x50));
                     const QRectF badge(bar.left() - 110, bar.top() + 60, 96, 34);
                     p.setPen(Ink);
                     p.setBrush(QColor(200, 200, 200));
                     p.drawRect(badge);
                     p.setFont(font(Sans, 20, true));
                     p.drawText(badge, Qt::AlignCenter, QStringLiteral("3 / 10"));
                     p.setFont(font(Sans, 18));
                     p.drawText(QRectF(page1.right() + 56, page1.center().y() + 20, 150, 80),
                                Qt::TextWordWrap, QStringLiteral("one step past the edge"));
                     g.bullet(QStringLiteral("Down at the bottom of a page: one more step "
                                             "opens the next page at its top."));
                     g.bullet(QStringLiteral("Up at the top: the previous page opens at its "
                                             "bottom."));
                     g.bullet(QStringLiteral("The vertical scroll bar is the document; its "
                                             "slider is the page. Tap beside it, or drag it."));
                     g.bullet(QStringLiteral("The page number shows for one second."));
                 }});

    s.push_back({QStringLiteral("Opening documents"), [](Guide &g) {
                     g.paragraph(QStringLiteral("With -f the file opens at start, after "
                                                "\u201CLoading PDF. Please wait...\u201D."));
                     g.paragraph(QStringLiteral("With -o the open softkey or F1 shows the file "
                                                "chooser: the device's folders and PDF files."));
                     const QFont keyFont = font(Sans, Guide::BodySize, true);
                     g.table({{"F2, F3", "Move up and down the list"},
                              {"F4", "Open a folder"},
                              {"F5", "Close a folder, go up"},
                              {"F1, Return", "Open the selected PDF file"},
                              {"F8, Escape", "Cancel"}},
                             150, keyFont);
                     g.paragraph(QStringLiteral("Tap a folder to open or close it; tap a file "
                                                "to select it."));
                     g.paragraph(QStringLiteral("A file that is missing, damaged, not a PDF or "
                                                "protected by a password is reported as "
                                                "\u201CLoading document %1 failed!\u201D")
                                     .arg(Ellipsis));
                 }});
    return s;
}

void writeTitlePage(Guide &g, const std::vector<Section> &contents)
{
    g.title(QStringLiteral("page-scope"), 64, Accent);
    g.title(QStringLiteral("Quick guide"), 36, Ink);
    g.paragraph(QStringLiteral("A PDF viewer for small touch-screen devices with hardware "
                               "softkeys."));
    drawDevice(g.painter(), g.reserve(180), true);
    g.subheading(QStringLiteral("Contents"));
    for (size_t i = 0; i < contents.size(); ++i) {
        const QRectF r = g.reserve(14);
        QPainter &p = g.painter();
        p.setPen(Ink);
        p.setFont(font(Sans, 20));
        p.drawText(QRectF(r.left() + 10, r.top() - 4, r.width() - 80, 26),
                   Qt::AlignLeft | Qt::AlignVCenter, contents[i].title);
        p.drawText(QRectF(r.left(), r.top() - 4, r.width() - 10, 26),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(int(i) + 2));
    }
}

} // namespace

int main(int argc, char **argv)
{
    // Only painting to files happens here, so no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: make-sample-document OUTPUT.pdf\n");
        return 2;
    }

    const std::vector<Section> contents = sections();
    const int pageCount = int(contents.size()) + 1;
    {
        QPdfWriter writer(args.at(1));
        writer.setTitle(QStringLiteral("page-scope quick guide"));
        writer.setCreator(QStringLiteral("page-scope make-sample-document"));
        writer.setResolution(72); // one device unit per point
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QPainter painter;
        if (!painter.begin(&writer)) {
            std::fprintf(stderr, "make-sample-document: cannot write %s\n", qPrintable(args.at(1)));
            return 1;
        }
        Guide guide(writer, painter, pageCount);
        guide.beginTitlePage();
        writeTitlePage(guide, contents);
        for (const Section &section : contents) {
            guide.beginPage(section.title);
            section.write(guide);
        }
        guide.finishPage();
        painter.end();
        if (guide.overflowed()) {
            // A partial guide must not look up to date to the next build.
            QFile::remove(args.at(1));
            return 1;
        }
    }
    return 0;
}
