// make-sample-document OUTPUT IMAGES README: writes page-scope-guide.pdf, the quick guide that
// ships with the viewer as its sample document. One section a page, each rich text laid out by
// QTextDocument on QPdfWriter, with the softkey icons from IMAGES. The key and option tables are
// read from README, where they are written once; every default key there is checked against the
// viewer's compiled-in defaults, so the guide cannot tell of codes the viewer does not use.
//
// The guide is read on a 480 x 272 screen at 48 dpi, where one point is two thirds of a pixel:
// body text is 22 points (about 15 pixels) and headings are larger still.

#include "config/deviceconfig.h"
#include "config/profile.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTextDocument>

#include <cstdio>
#include <sstream>

namespace {

const QColor Accent(0x15, 0x65, 0xc0);
const QSizeF Page(595, 842); // A4 in points, the writer's unit
constexpr qreal Margin = 40;
constexpr qreal Band = 72;   // the heading band
constexpr qreal Footer = 56; // the footer below the text

// Colours and sizes of the body text; QTextDocument takes them as HTML attributes and CSS.
const char *const Style = R"(
    p, li { margin-top: 0; margin-bottom: 8px; }
    code, pre { font-family: 'DejaVu Sans Mono'; font-size: 18px; }
    .box { background-color: #f0f0f0; border: 1px solid #c0c0c0; }
    .alt { background-color: #eaf1fb; }
    .head { background-color: #1565c0; color: white; font-weight: bold; }
    .red { color: #d32f2f; font-weight: bold; }
    .arrow { color: #00007f; font-size: 28px; }
    .device { background-color: #3a3d42; color: white; font-size: 14px; font-weight: bold; }
    .key { background-color: #e0e0e0; }
)";

// Reports on standard error; returns the exit status of a failed run.
int failure(const QString &message)
{
    std::fprintf(stderr, "make-sample-document: %s\n", qPrintable(message));
    return 1;
}

struct Section
{
    QString title;
    QString html;
};

// The rows of the README table whose header row starts with header, cells as HTML.
QVector<QStringList> readmeTable(const QString &readme, const QString &header)
{
    QVector<QStringList> rows;
    const QStringList lines = readme.split(QLatin1Char('\n'));
    int i = 0;
    while (i < lines.size() && !lines[i].startsWith(header))
        ++i;
    for (i += 2; i < lines.size() && lines[i].startsWith(QLatin1Char('|')); ++i) {
        QStringList cells = lines[i].split(QLatin1Char('|')).mid(1);
        cells.removeLast();
        for (QString &cell : cells)
            cell = cell.trimmed().toHtmlEscaped().replace(
                QRegularExpression(QStringLiteral("`([^`]*)`")),
                QStringLiteral("<code>\\1</code>"));
        rows.append(cells);
    }
    return rows;
}

// A README default key applied as a profile line must leave the compiled-in defaults unchanged.
bool isDefault(const QString &profileKey, int code)
{
    const DeviceConfig defaults = DeviceConfig::defaults();
    DeviceConfig config = defaults;
    std::istringstream line(QStringLiteral("%1=%2\n").arg(profileKey).arg(code).toStdString());
    readProfile(line, config);
    return config == defaults;
}

QString icon(const QString &name, int size = 34)
{
    return QStringLiteral("<img src=\"icon:%1\" width=\"%2\" height=\"%2\">").arg(name).arg(size);
}

QString arrow(const QString &glyph)
{
    return QStringLiteral("<span class=\"arrow\">%1</span>").arg(glyph);
}

QString code(const QStringList &lines)
{
    return QStringLiteral(R"(<table class="box" width="100%" cellpadding="6"><tr><td><pre>%1</pre>
</td></tr></table>)")
        .arg(lines.join('\n').toHtmlEscaped());
}

// Rows of cells, every other row shaded; a header row when header is given.
QString table(const QVector<QStringList> &rows, const QStringList &header = {})
{
    QString html = QStringLiteral("<table width=\"100%\" cellpadding=\"3\" cellspacing=\"0\">");
    if (!header.isEmpty())
        html += QStringLiteral("<tr class=\"head\"><td>%1</td></tr>")
                    .arg(header.join(QStringLiteral("</td><td>")));
    for (int i = 0; i < rows.size(); ++i)
        html += QStringLiteral("<tr%1><td>%2</td></tr>")
                    .arg(i % 2 ? QStringLiteral(" class=\"alt\"") : QString(),
                         rows[i].join(QStringLiteral("</td><td>")));
    return html + QStringLiteral("</table>");
}

// The default device: the screen between its two softkey columns, each softkey with its key.
QString device(const QVector<QStringList> &keys)
{
    const QString left[] = {icon("close"), icon("zoomin"), icon("zoomout"), arrow("⇦")};
    const QString right[] = {icon("open"), arrow("⇧"), arrow("⇩"), arrow("⇨")};
    QString html = R"(<table class="device" align="center" cellpadding="4" cellspacing="4">)";
    for (int i = 0; i < 4; ++i)
        html += QStringLiteral(R"(<tr><td>%1</td><td class="key" align="center">%2</td>%3
            <td class="key" align="center">%4</td><td>%5</td></tr>)")
                    .arg(keys[7 - i][1], left[i],
                         i ? QString()
                           : QStringLiteral(R"(<td rowspan="4" bgcolor="white"
                             width="220"><p style="color:#1565c0; font-size:28px">━━━━━━</p>
                             <p style="color:#a0a0a0; font-size:12px">%1</p></td>)")
                                 .arg(QString("─").repeated(24).append("<br>").repeated(4)),
                         right[i], keys[i][1]);
    return html + "</table>";
}

// A screen with its softkey slots, for the frame arrangements of a profile.
QString frameSketch(const QString &caption, bool onSide, int frames)
{
    const QString slot = R"(<td class="key" width="12">&nbsp;</td>)";
    const QString screen = R"(<td bgcolor="#909090" width="120" height="60" %1>&nbsp;</td>)";
    const QString row = "<tr>" + slot.repeated(8) + "</tr>";
    QString html = R"(<table border="1" cellspacing="2" align="center">)";
    for (int i = 0; onSide && i < 4; ++i)
        html += "<tr>" + (frames == 2 ? slot : QString()) +
                (i ? QString() : screen.arg(R"(rowspan="4")")) + slot + "</tr>";
    if (!onSide)
        html +=
            (frames == 2 ? row : QString()) + "<tr>" + screen.arg(R"(colspan="8")") + "</tr>" + row;
    return html + QStringLiteral(R"(</table><p align="center"><b>%1</b></p>)").arg(caption);
}

// The guide's text, a section for each <h1>; {name} stands for a part made from the tables.
const char *const Guide = R"(
<h1></h1><p style="font-size:60px; color:#1565c0"><b>page-scope</b></p><p style="font-size:36px">
<b>Quick guide</b></p><p>A PDF viewer for small touch-screen devices with hardware softkeys.</p>
{device}<p style="font-size:26px; color:#1565c0"><b>Contents</b></p>{contents}
<h1>What page-scope is</h1>
<p>page-scope is a PDF viewer for small devices with a {size} pixel touch screen and hardware
softkeys.</p><p>It shows one page at a time. The page is rendered whole at the zoom level, and the
screen is a window onto it.</p>
<ul><li>Scroll within the page with the arrows.</li><li>Scroll past the top or bottom edge to turn
the page.</li><li>Zoom in and out in steps of 10 dpi.</li><li>Open other PDF files with the
built-in file chooser, when the device enables it.</li></ul>
<p>Nothing is kept between runs: every document opens at page 1, unzoomed.</p>
<h1>The softkeys</h1>
{device}{softkeys}
<p>The open softkey works only when page-scope was started with <code>-o</code>. Otherwise its
slot stays blank.</p>
<h1>Hardware keys</h1>
<p>The default keys of a device:</p>{keys}
<ul><li>A key acts when you release it, not when you press it.</li><li>The device profile can give
every key another code (see “Key codes”).</li><li>Every key without a command prints the key code
report (see “Finding key codes”).</li></ul>
<h1>Command line</h1>
{usage}{options}{example}
<ul><li>A file named without -f is ignored.</li></ul>
<p>Long options may be shortened. These all set the width:</p>{width}
<h1>Device profiles</h1>
<p>At start page-scope reads the pointer file</p>{pointer}
<p>Its config_file line names the device profile:</p>{pointerLines}
<table align="center" cellpadding="8"><tr><td class="box" align="center"><b>device_config.ini</b>
</td><td>{to}</td><td class="box" align="center"><b>b7s.conf<br>profile</b></td><td>{to}</td>
<td class="box alt" align="center"><b>keys and<br>softkeys</b></td></tr></table>
<ul><li>No pointer file: b7s.conf in the working folder is used.</li><li>No profile: the defaults
in this guide apply.</li><li>One KEY=VALUE per line, with no blanks around the =. Lines starting
with # are comments.</li><li>Numbers: decimal, hex (0x10) or octal (010).</li></ul>
<h1>Softkey frames</h1>
{frameLines}
<ul><li>DEVICE: 0 gives a window frame, other numbers none.</li><li>NO_OF_SOFTKEY_FRAMES: 1 or 2
frames.</li><li>SOFTKEY_FRAMES_ON_SIDE: exactly TRUE puts the frames beside the screen, anything
else above and below it.</li><li>NO_OF_SOFTKEYS_PER_FRAME: slots in a frame; blank slots fill up
the rest.</li></ul>{frames}
<h1>Key codes</h1>
<p>The profile sets the code of every key. Defaults:</p>{codes}
<p>These three lines all mean {openKey}:</p>{openLines}
<h1>Finding key codes</h1>
<p>Press Escape, or any key without a command. page-scope prints this report on its standard
output:</p>{report}
<ul><li>The first line is the device's scan code of the key (here 9).</li><li>The list shows the
codes now in use, so you can check a profile.</li></ul>
<h1>Zoom</h1>
<p>The zoom level is the resolution of the page in dots per inch: 10 to 300, in steps of 10.</p>
<p align="center">10 ─ <span class="red">48</span> ─ 50 ─ <span class="red">80</span> ─ <span
class="red">100</span> ─ 150 ─ 200 ─ 300<br><span class="red">red</span>: where a document
starts</p>{zooms}
<p>From 48: zoom in gives 58, 68 … 298, 300; zoom out gives 38, 28, 18, 10.</p><p>One scroll step
is as many pixels as the zoom level. A new document starts unzoomed.</p>
<h1>Turning pages</h1>
<table align="center" cellpadding="6"><tr><td class="box" align="center" style="font-size:40px">
<b>2</b></td><td rowspan="2"><span class="red">↓</span> one step past the edge</td><td
class="device">3 / 10</td></tr><tr><td class="box" align="center" style="font-size:40px"><b>3</b>
</td><td></td></tr></table>
<ul><li>Down at the bottom of a page: one more step opens the next page at its top.</li><li>Up at
the top: the previous page opens at its bottom.</li><li>The vertical scroll bar is the document;
its slider is the page. Tap beside it, or drag it.</li><li>The page number shows for one
second.</li></ul>
<h1>Opening documents</h1>
<p>With -f the file opens at start, after “Loading PDF. Please wait...”.</p><p>With -o the open
softkey or F1 shows the file chooser: the device's folders and PDF files.</p>{chooser}
<p>Tap a folder to open or close it; tap a file to select it.</p><p>A file that is missing,
damaged, not a PDF or protected by a password is reported as “Loading document … failed!”</p>
)";

// The guide cut at every <h1>, a section a page; the first, the title page, lists the others.
std::vector<Section> splitSections(const QString &html)
{
    std::vector<Section> guide;
    QVector<QStringList> contents;
    for (const QString &section : html.split(QStringLiteral("<h1>")).mid(1)) {
        guide.push_back({section.section(QStringLiteral("</h1>"), 0, 0),
                         section.section(QStringLiteral("</h1>"), 1)});
        if (guide.size() > 1)
            contents.append({guide.back().title, QString::number(guide.size())});
    }
    guide[0].html.replace(QStringLiteral("{contents}"), table(contents));
    return guide;
}

// The guide's sections, its parts made from the README's key and option tables; empty when a
// key's default there is not the viewer's.
std::vector<Section> sections(const QVector<QStringList> &keys, const QVector<QStringList> &options)
{
    QVector<QStringList> keyRows, codeRows, optionRows;
    QMap<QString, int> codes;
    for (const QStringList &key : keys) {
        const int code = QKeySequence::fromString(key.value(1))[0];
        if (!isDefault(key.value(0), code)) {
            failure("README gives " + key.value(1) + " as the default of " + key.value(0));
            return {};
        }
        keyRows.append({QStringLiteral("<b>%1</b>").arg(key.value(1)), key.value(2)});
        codeRows.append({QStringLiteral("<code><b>%1</b></code>").arg(key.value(0)), key.value(1),
                         QStringLiteral("<code>%1</code>").arg(code)});
        codes[QString(key.value(0)).remove(QRegularExpression("<[^>]*>")).mid(4)] = code;
    }
    for (const QStringList &option : options)
        optionRows.append(
            {QStringLiteral("<b>%1</b>").arg(option.value(0)),
             QStringLiteral("%1 (default: %2)").arg(option.value(1), option.value(2))});
    QStringList report{QStringLiteral("UNKNOWN KEY CODE RECEIVED: 9"),
                       QStringLiteral("Known Keycodes are:")};
    for (const char *name : {"OPEN", "CLOSE", "LEFT", "RIGHT", "UP", "DOWN", "ZOOM_IN", "ZOOM_OUT",
                             "ENTER", "ESCAPE", "HOME"})
        report << QStringLiteral("%1: %2").arg(name).arg(codes.value(name));
    const int f1 = codes.value(QStringLiteral("OPEN"));
    const auto rows = [](const char *text) {
        QVector<QStringList> rows;
        for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n')))
            rows.append({QStringLiteral("<b>%1</b>").arg(line.section(QLatin1Char('\t'), 0, 0)),
                         line.section(QLatin1Char('\t'), 1)});
        return rows;
    };

    const QMap<QString, QString> parts = {
        {"size", QStringLiteral("480\u00a0\u00d7\u00a0272")},
        {"device", device(keys)},
        {"softkeys", table({{icon("open"), "Open another PDF file"},
                            {icon("close"), "Close page-scope"},
                            {icon("zoomin") + icon("zoomout"), "Zoom in, zoom out"},
                            {arrow("⇧ ⇩"), "Scroll up, down; turn pages"},
                            {arrow("⇦ ⇨"), "Scroll left, right"}})},
        {"keys", table(keyRows)},
        {"usage", code({"page-scope [options]"})},
        {"options", table(optionRows)},
        {"example", code({"page-scope -o -f /media/manual.pdf"})},
        {"width", code({"--width=800   --width 800   --wid=800"})},
        {"pointer", code({"/data/device_config.ini"})},
        {"pointerLines", code({"[main]", "config_file=/etc/b7s.conf"})},
        {"to", arrow("→")},
        {"frameLines", code({"DEVICE=1", "NO_OF_SOFTKEY_FRAMES=2", "SOFTKEY_FRAMES_ON_SIDE=TRUE",
                             "NO_OF_SOFTKEYS_PER_FRAME=4"})},
        {"frames",
         QStringLiteral("<table width=\"100%\"><tr><td>%1</td><td>%2</td></tr><tr><td>"
                        "%3</td><td>%4</td></tr></table>")
             .arg(frameSketch("beside, 2 frames", true, 2), frameSketch("beside, 1 frame", true, 1),
                  frameSketch("above and below", false, 2),
                  frameSketch("below, 1 frame", false, 1))},
        {"codes", table(codeRows, {"Profile key", "Key", "Code"})},
        {"openKey", keys.value(0).value(1)},
        {"openLines", code({QStringLiteral("KEY_OPEN=%1").arg(f1),
                            QStringLiteral("KEY_OPEN=0x%1").arg(f1, 8, 16, QLatin1Char('0')),
                            QStringLiteral("KEY_OPEN=0%1").arg(f1, 0, 8)})},
        {"report", code(report)},
        {"zooms", table(rows("48\tscreens below 500 pixels wide (480\u00a0\u00d7\u00a0272)\n"
                             "80\t500 to 800 pixels wide\n100\twider than 800 pixels"))},
        {"chooser", table(rows("F2, F3\tMove up and down the list\nF4\tOpen a folder\nF5\tClose "
                               "a folder, go up\nF1, Return\tOpen the selected PDF file\n"
                               "F8, Escape\tCancel"))},
    };
    QString html = QString::fromUtf8(Guide);
    for (auto part = parts.begin(); part != parts.end(); ++part)
        html.replace(QLatin1Char('{') + part.key() + QLatin1Char('}'), part.value());
    return splitSections(html);
}

using Icons = std::vector<std::pair<QString, QImage>>;

// The softkey icons as images of four times their size on the page, so they stay sharp when
// zoomed; empty when one cannot be read.
Icons readIcons(const QString &directory)
{
    Icons icons;
    for (const auto &[name, file] : {std::pair("open", "1270668950.svg"),
                                     {"close", "cancel.svg"},
                                     {"zoomin", "ZoomIn.svg"},
                                     {"zoomout", "ZoomOut.svg"}}) {
        QSvgRenderer svg(QStringLiteral("%1/%2").arg(directory, file));
        if (!svg.isValid()) {
            failure(QStringLiteral("cannot read the icon %1").arg(file));
            return {};
        }
        QImage image(104, 104, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        icons.emplace_back(QString::fromLatin1(name), image);
    }
    return icons;
}

// One page of the guide: the heading band, the section's text and the footer. False when the
// text runs over the footer.
bool paintPage(QPainter &painter, QPdfWriter &writer, const Section &section, const Icons &icons,
               int number, int count)
{
    const qreal width = Page.width() - 2 * Margin;
    const qreal top = section.title.isEmpty() ? Margin : Band + 24;
    if (!section.title.isEmpty()) {
        painter.fillRect(QRectF(0, 0, Page.width(), Band), Accent);
        painter.setPen(Qt::white);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 30, QFont::Bold));
        painter.drawText(QRectF(Margin, 0, width, Band), Qt::AlignVCenter, section.title);
    }

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    document.setDefaultFont(QFont("DejaVu Sans", 22)); // points, the writer's unit
    document.setDefaultStyleSheet(QString::fromLatin1(Style));
    document.setDocumentMargin(0);
    for (const auto &[name, image] : icons)
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("icon:") + name),
                             image);
    document.setHtml(section.html);
    document.setTextWidth(width);
    const qreal over = document.size().height() - (Page.height() - top - Footer);
    if (over > 0)
        failure(QStringLiteral("page %1 runs over by %2 points").arg(number).arg(over));
    painter.translate(Margin, top);
    document.drawContents(&painter);
    painter.resetTransform();

    const qreal line = Page.height() - Footer + 8;
    painter.setPen(QPen(Accent, 1));
    painter.drawLine(QPointF(Margin, line), QPointF(Page.width() - Margin, line));
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
    const QRectF footer(Margin, line + 6, width, 30);
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, "page-scope quick guide");
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 20, QFont::Bold));
    painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("%1 / %2").arg(number).arg(count));
    return over <= 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4)
        return failure("usage: make-sample-document OUTPUT.pdf IMAGES_DIR README.md");
    QGuiApplication app(argc, argv);
    QFile readmeFile(QString::fromLocal8Bit(argv[3]));
    if (!readmeFile.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("cannot read %1").arg(argv[3]));
    const QString readme = QString::fromUtf8(readmeFile.readAll());
    const QVector<QStringList> keys = readmeTable(readme, QStringLiteral("| Key | Default |"));
    const QVector<QStringList> options = readmeTable(readme, QStringLiteral("| Option |"));
    if (keys.size() != 11 || options.size() != 6)
        return failure(QStringLiteral("%1 lacks the key or option table").arg(argv[3]));
    const std::vector<Section> guide = sections(keys, options);
    bool ok = !guide.empty();

    QPdfWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setTitle(QStringLiteral("page-scope quick guide"));
    writer.setCreator(QStringLiteral("page-scope make-sample-document"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);

    const Icons icons = readIcons(QString::fromLocal8Bit(argv[2]));
    if (icons.empty())
        return 1;

    QPainter painter(&writer);
    for (size_t i = 0; i < guide.size(); ++i) {
        if (i > 0)
            writer.newPage();
        ok = paintPage(painter, writer, guide[i], icons, int(i + 1), int(guide.size())) && ok;
    }
    return painter.end() && ok ? 0 : 1;
}
