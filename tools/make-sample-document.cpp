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
#include <cstring>
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

QString plain(QString html)
{
    return html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
}

// A README default key applied as a profile line must leave the compiled-in defaults unchanged.
bool isDefault(const QString &profileKey, int code)
{
    const DeviceConfig defaults = DeviceConfig::defaults();
    DeviceConfig config = defaults;
    std::istringstream line(QStringLiteral("%1=%2\n").arg(profileKey).arg(code).toStdString());
    readProfile(line, config);
    return std::memcmp(&config, &defaults, sizeof config) == 0;
}

QString icon(const QString &name, int size = 34)
{
    return QStringLiteral("<img src=\"icon:%1\" width=\"%2\" height=\"%2\">").arg(name).arg(size);
}

QString arrow(const QString &glyph)
{
    return QStringLiteral("<span class=\"arrow\">%1</span>").arg(glyph);
}

QString box(const QString &html)
{
    return QStringLiteral("<table class=\"box\" width=\"100%\" cellpadding=\"6\"><tr><td>%1</td>"
                          "</tr></table>")
        .arg(html);
}

QString code(const QStringList &lines)
{
    return box(QStringLiteral("<pre>%1</pre>").arg(lines.join(QLatin1Char('\n')).toHtmlEscaped()));
}

QString list(const QStringList &items)
{
    return QStringLiteral("<ul><li>%1</li></ul>").arg(items.join(QStringLiteral("</li><li>")));
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
    const QString left[] = {icon(QStringLiteral("close")), icon(QStringLiteral("zoomin")),
                            icon(QStringLiteral("zoomout")), arrow(QStringLiteral("\u21e6"))};
    const QString right[] = {icon(QStringLiteral("open")), arrow(QStringLiteral("\u21e7")),
                             arrow(QStringLiteral("\u21e9")), arrow(QStringLiteral("\u21e8"))};
    const QString leftKeys[] = {keys[7][1], keys[6][1], keys[5][1], keys[4][1]};
    QString html = QStringLiteral("<table class=\"device\" align=\"center\" cellpadding=\"4\" "
                                  "cellspacing=\"4\">");
    for (int i = 0; i < 4; ++i) {
        html += QStringLiteral("<tr><td>%1</td><td class=\"key\" align=\"center\">%2</td>")
                    .arg(leftKeys[i], left[i]);
        if (i == 0)
            html += QStringLiteral("<td rowspan=\"4\" bgcolor=\"white\" width=\"220\">"
                                   "<p style=\"color:#1565c0; font-size:28px\">\u2501\u2501\u2501"
                                   "\u2501\u2501\u2501</p><p style=\"color:#a0a0a0; "
                                   "font-size:12px\">%1</p></td>")
                        .arg(QStringLiteral("\u2500").repeated(24).append("<br>").repeated(4));
        html += QStringLiteral("<td class=\"key\" align=\"center\">%1</td><td>%2</td></tr>")
                    .arg(right[i], keys[i][1]);
    }
    return html + QStringLiteral("</table>");
}

// A screen with its softkey slots, for the frame arrangements of a profile.
QString frameSketch(const QString &caption, bool onSide, int frames)
{
    const QString slot = QStringLiteral("<td class=\"key\" width=\"12\">&nbsp;</td>");
    const QString screen = QStringLiteral("<td bgcolor=\"#909090\" width=\"120\" height=\"60\" "
                                          "%1>&nbsp;</td>");
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"2\" align=\"center\">");
    if (onSide) {
        for (int i = 0; i < 4; ++i)
            html += QStringLiteral("<tr>%1%2%3</tr>")
                        .arg(frames == 2 ? slot : QString(),
                             i == 0 ? screen.arg(QStringLiteral("rowspan=\"4\"")) : QString(),
                             i < 4 ? slot : QString());
    } else {
        const QString row = QStringLiteral("<tr>%1</tr>").arg(slot.repeated(8));
        html += (frames == 2 ? row : QString()) +
                QStringLiteral("<tr>%1</tr>").arg(screen.arg(QStringLiteral("colspan=\"8\""))) +
                row;
    }
    return html + QStringLiteral("</table><p align=\"center\"><b>%1</b></p>").arg(caption);
}

std::vector<Section> sections(const QString &readme, bool &ok)
{
    const QVector<QStringList> keys = readmeTable(readme, QStringLiteral("| Key | Default |"));
    const QVector<QStringList> options = readmeTable(readme, QStringLiteral("| Option |"));
    ok = keys.size() == 11 && options.size() == 6;
    QVector<QStringList> keyRows, codeRows;
    QMap<QString, int> codes;
    for (const QStringList &key : keys) {
        const int code = ok ? QKeySequence::fromString(key.value(1))[0] : 0;
        if (!isDefault(key.value(0), code)) {
            std::fprintf(stderr,
                         "make-sample-document: README gives %s as the default of %s, "
                         "which is not the viewer's\n",
                         qPrintable(key.value(1)), qPrintable(key.value(0)));
            ok = false;
        }
        keyRows.append({QStringLiteral("<b>%1</b>").arg(key.value(1)), key.value(2)});
        codeRows.append({QStringLiteral("<code><b>%1</b></code>").arg(key.value(0)), key.value(1),
                         QStringLiteral("<code>%1</code>").arg(code)});
        codes[plain(key.value(0)).mid(4)] = code;
    }
    if (!ok)
        return {};
    QVector<QStringList> optionRows;
    for (const QStringList &option : options)
        optionRows.append({QStringLiteral("<b>%1</b>").arg(option[0]),
                           QStringLiteral("%1 (default: %2)").arg(option[1], option[2])});
    QStringList report{QStringLiteral("UNKNOWN KEY CODE RECEIVED: 9"),
                       QStringLiteral("Known Keycodes are:")};
    for (const char *name : {"OPEN", "CLOSE", "LEFT", "RIGHT", "UP", "DOWN", "ZOOM_IN", "ZOOM_OUT",
                             "ENTER", "ESCAPE", "HOME"})
        report << QStringLiteral("%1: %2").arg(name).arg(codes.value(name));
    const int f1 = codes.value(QStringLiteral("OPEN"));
    const QString size = QStringLiteral("480\u00a0\u00d7\u00a0272");

    return {
        {QStringLiteral("What page-scope is"),
         QStringLiteral("<p>page-scope is a PDF viewer for small devices with a %1 pixel touch "
                        "screen and hardware softkeys.</p><p>It shows one page at a time. The page "
                        "is rendered whole at the zoom level, and the screen is a window onto "
                        "it.</p>")
                 .arg(size) +
             list({QStringLiteral("Scroll within the page with the arrows."),
                   QStringLiteral("Scroll past the top or bottom edge to turn the page."),
                   QStringLiteral("Zoom in and out in steps of 10 dpi."),
                   QStringLiteral("Open other PDF files with the built-in file chooser, when the "
                                  "device enables it.")}) +
             QStringLiteral("<p>Nothing is kept between runs: every document opens at page 1, "
                            "unzoomed.</p>")},
        {QStringLiteral("The softkeys"),
         device(keys) +
             table(
                 {{icon(QStringLiteral("open")), QStringLiteral("Open another PDF file")},
                  {icon(QStringLiteral("close")), QStringLiteral("Close page-scope")},
                  {icon(QStringLiteral("zoomin")) + icon(QStringLiteral("zoomout")),
                   QStringLiteral("Zoom in, zoom out")},
                  {arrow(QStringLiteral("\u21e7 \u21e9")),
                   QStringLiteral("Scroll up, down; turn pages")},
                  {arrow(QStringLiteral("\u21e6 \u21e8")), QStringLiteral("Scroll left, right")}}) +
             QStringLiteral("<p>The open softkey works only when page-scope was started with "
                            "<code>-o</code>. Otherwise its slot stays blank.</p>")},
        {QStringLiteral("Hardware keys"),
         QStringLiteral("<p>The default keys of a device:</p>") + table(keyRows) +
             list({QStringLiteral("A key acts when you release it, not when you press it."),
                   QStringLiteral("The device profile can give every key another code (see "
                                  "\u201cKey codes\u201d)."),
                   QStringLiteral("Every key without a command prints the key code report (see "
                                  "\u201cFinding key codes\u201d).")})},
        {QStringLiteral("Command line"),
         code({QStringLiteral("page-scope [options]")}) + table(optionRows) +
             code({QStringLiteral("page-scope -o -f /media/manual.pdf")}) +
             list({QStringLiteral("A file named without -f is ignored.")}) +
             QStringLiteral("<p>Long options may be shortened. These all set the width:</p>") +
             code({QStringLiteral("--width=800   --width 800   --wid=800")})},
        {QStringLiteral("Device profiles"),
         QStringLiteral("<p>At start page-scope reads the pointer file</p>") +
             code({QStringLiteral("/data/device_config.ini")}) +
             QStringLiteral("<p>Its config_file line names the device profile:</p>") +
             code({QStringLiteral("[main]"), QStringLiteral("config_file=/etc/b7s.conf")}) +
             QStringLiteral("<table align=\"center\" cellpadding=\"8\"><tr><td class=\"box\" "
                            "align=\"center\"><b>device_config.ini</b></td><td>%1</td><td "
                            "class=\"box\" align=\"center\"><b>b7s.conf<br>profile</b></td><td>%1"
                            "</td><td class=\"box alt\" align=\"center\"><b>keys and<br>softkeys"
                            "</b></td></tr></table>")
                 .arg(arrow(QStringLiteral("\u2192"))) +
             list({QStringLiteral("No pointer file: b7s.conf in the working folder is used."),
                   QStringLiteral("No profile: the defaults in this guide apply."),
                   QStringLiteral("One KEY=VALUE per line, with no blanks around the =. Lines "
                                  "starting with # are comments."),
                   QStringLiteral("Numbers: decimal, hex (0x10) or octal (010).")})},
        {QStringLiteral("Softkey frames"),
         code({QStringLiteral("DEVICE=1"), QStringLiteral("NO_OF_SOFTKEY_FRAMES=2"),
               QStringLiteral("SOFTKEY_FRAMES_ON_SIDE=TRUE"),
               QStringLiteral("NO_OF_SOFTKEYS_PER_FRAME=4")}) +
             list({QStringLiteral("DEVICE: 0 gives a window frame, other numbers none."),
                   QStringLiteral("NO_OF_SOFTKEY_FRAMES: 1 or 2 frames."),
                   QStringLiteral("SOFTKEY_FRAMES_ON_SIDE: exactly TRUE puts the frames beside "
                                  "the screen, anything else above and below it."),
                   QStringLiteral("NO_OF_SOFTKEYS_PER_FRAME: slots in a frame; blank slots fill "
                                  "up the rest.")}) +
             QStringLiteral("<table width=\"100%\"><tr><td>%1</td><td>%2</td></tr><tr><td>%3</td>"
                            "<td>%4</td></tr></table>")
                 .arg(frameSketch(QStringLiteral("beside, 2 frames"), true, 2),
                      frameSketch(QStringLiteral("beside, 1 frame"), true, 1),
                      frameSketch(QStringLiteral("above and below"), false, 2),
                      frameSketch(QStringLiteral("below, 1 frame"), false, 1))},
        {QStringLiteral("Key codes"),
         QStringLiteral("<p>The profile sets the code of every key. Defaults:</p>") +
             table(codeRows,
                   {QStringLiteral("Profile key"), QStringLiteral("Key"), QStringLiteral("Code")}) +
             QStringLiteral("<p>These three lines all mean %1:</p>").arg(keys[0][1]) +
             code({QStringLiteral("KEY_OPEN=%1").arg(f1),
                   QStringLiteral("KEY_OPEN=0x%1").arg(f1, 8, 16, QLatin1Char('0')),
                   QStringLiteral("KEY_OPEN=0%1").arg(f1, 0, 8)})},
        {QStringLiteral("Finding key codes"),
         QStringLiteral("<p>Press Escape, or any key without a command. page-scope prints this "
                        "report on its standard output:</p>") +
             code(report) +
             list({QStringLiteral("The first line is the device's scan code of the key (here 9)."),
                   QStringLiteral("The list shows the codes now in use, so you can check a "
                                  "profile.")})},
        {QStringLiteral("Zoom"),
         QStringLiteral("<p>The zoom level is the resolution of the page in dots per inch: 10 to "
                        "300, in steps of 10.</p><p align=\"center\">10 \u2500 <span "
                        "class=\"red\">48</span> \u2500 50 \u2500 <span class=\"red\">80</span> "
                        "\u2500 <span class=\"red\">100</span> \u2500 150 \u2500 200 \u2500 300"
                        "<br><span class=\"red\">red</span>: where a document starts</p>") +
             table({{QStringLiteral("<b>48</b>"),
                     QStringLiteral("screens below 500 pixels wide (%1)").arg(size)},
                    {QStringLiteral("<b>80</b>"), QStringLiteral("500 to 800 pixels wide")},
                    {QStringLiteral("<b>100</b>"), QStringLiteral("wider than 800 pixels")}}) +
             QStringLiteral("<p>From 48: zoom in gives 58, 68 \u2026 298, 300; zoom out gives 38, "
                            "28, 18, 10.</p><p>One scroll step is as many pixels as the zoom "
                            "level. A new document starts unzoomed.</p>")},
        {QStringLiteral("Turning pages"),
         QStringLiteral("<table align=\"center\" cellpadding=\"6\"><tr><td class=\"box\" "
                        "align=\"center\" style=\"font-size:40px\"><b>2</b></td><td rowspan=\"2\">"
                        "<span class=\"red\">\u2193</span> one step past the edge</td><td "
                        "class=\"device\">3 / 10</td></tr><tr><td class=\"box\" align=\"center\" "
                        "style=\"font-size:40px\"><b>3</b></td><td></td></tr></table>") +
             list({QStringLiteral("Down at the bottom of a page: one more step opens the next "
                                  "page at its top."),
                   QStringLiteral("Up at the top: the previous page opens at its bottom."),
                   QStringLiteral("The vertical scroll bar is the document; its slider is the "
                                  "page. Tap beside it, or drag it."),
                   QStringLiteral("The page number shows for one second.")})},
        {QStringLiteral("Opening documents"),
         QStringLiteral("<p>With -f the file opens at start, after \u201cLoading PDF. Please "
                        "wait...\u201d.</p><p>With -o the open softkey or F1 shows the file "
                        "chooser: the device's folders and PDF files.</p>") +
             table({{QStringLiteral("<b>F2, F3</b>"), QStringLiteral("Move up and down the list")},
                    {QStringLiteral("<b>F4</b>"), QStringLiteral("Open a folder")},
                    {QStringLiteral("<b>F5</b>"), QStringLiteral("Close a folder, go up")},
                    {QStringLiteral("<b>F1, Return</b>"),
                     QStringLiteral("Open the selected PDF file")},
                    {QStringLiteral("<b>F8, Escape</b>"), QStringLiteral("Cancel")}}) +
             QStringLiteral("<p>Tap a folder to open or close it; tap a file to select it.</p><p>A "
                            "file that is missing, damaged, not a PDF or protected by a password "
                            "is reported as \u201cLoading document \u2026 failed!\u201d</p>")},
    };
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: make-sample-document OUTPUT.pdf IMAGES_DIR README.md\n");
        return 2;
    }
    QFile readmeFile(QString::fromLocal8Bit(argv[3]));
    if (!readmeFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make-sample-document: cannot read %s\n", argv[3]);
        return 1;
    }
    const QString readme = QString::fromUtf8(readmeFile.readAll());
    bool ok = false;
    std::vector<Section> guide = sections(readme, ok);
    if (!ok) {
        std::fprintf(stderr, "make-sample-document: %s lacks the key or option table\n", argv[3]);
        return 1;
    }

    QPdfWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setTitle(QStringLiteral("page-scope quick guide"));
    writer.setCreator(QStringLiteral("page-scope make-sample-document"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setResolution(72);

    // The icons as images of four times their size on the page, so they stay sharp when zoomed.
    std::vector<std::pair<QString, QImage>> icons;
    const std::pair<const char *, const char *> files[] = {{"open", "1270668950.svg"},
                                                           {"close", "cancel.svg"},
                                                           {"zoomin", "ZoomIn.svg"},
                                                           {"zoomout", "ZoomOut.svg"}};
    for (const auto &[name, file] : files) {
        QSvgRenderer svg(QStringLiteral("%1/%2").arg(QString::fromLocal8Bit(argv[2]), file));
        if (!svg.isValid()) {
            std::fprintf(stderr, "make-sample-document: cannot read the icon %s\n", file);
            return 1;
        }
        QImage image(104, 104, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        icons.emplace_back(QString::fromLatin1(name), image);
    }

    QString contents = QStringLiteral("<table width=\"100%\" cellpadding=\"0\">");
    for (size_t i = 0; i < guide.size(); ++i)
        contents += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td></tr>")
                        .arg(guide[i].title)
                        .arg(i + 2);
    guide.insert(guide.begin(),
                 {QString(), QStringLiteral("<p style=\"font-size:60px; color:#1565c0\"><b>"
                                            "page-scope</b></p><p style=\"font-size:36px\"><b>"
                                            "Quick guide</b></p><p>A PDF viewer for small "
                                            "touch-screen devices with hardware softkeys.</p>") +
                                 device(readmeTable(readme, QStringLiteral("| Key | Default |"))) +
                                 QStringLiteral("<p style=\"font-size:26px; color:#1565c0\"><b>"
                                                "Contents</b></p>") +
                                 contents + QStringLiteral("</table>")});

    QPainter painter(&writer);
    const qreal width = Page.width() - 2 * Margin;
    for (size_t i = 0; i < guide.size(); ++i) {
        if (i > 0)
            writer.newPage();
        const Section &section = guide[i];
        const qreal top = section.title.isEmpty() ? Margin : Band + 24;
        if (!section.title.isEmpty()) {
            painter.fillRect(QRectF(0, 0, Page.width(), Band), Accent);
            painter.setPen(Qt::white);
            painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 30, QFont::Bold));
            painter.drawText(QRectF(Margin, 0, width, Band), Qt::AlignVCenter, section.title);
        }

        QTextDocument document;
        document.documentLayout()->setPaintDevice(&writer);
        QFont body(QStringLiteral("DejaVu Sans"));
        body.setPixelSize(22);
        document.setDefaultFont(body);
        document.setDefaultStyleSheet(QString::fromLatin1(Style));
        document.setDocumentMargin(0);
        for (const auto &[name, image] : icons)
            document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("icon:") + name),
                                 image);
        document.setHtml(section.html);
        document.setTextWidth(width);
        if (document.size().height() > Page.height() - top - Footer) {
            std::fprintf(stderr, "make-sample-document: page %zu runs over by %.0f points\n", i + 1,
                         document.size().height() - (Page.height() - top - Footer));
            ok = false;
        }
        painter.save();
        painter.translate(Margin, top);
        document.drawContents(&painter);
        painter.restore();

        const qreal line = Page.height() - Footer + 8;
        painter.setPen(QPen(Accent, 1));
        painter.drawLine(QPointF(Margin, line), QPointF(Page.width() - Margin, line));
        painter.setPen(Qt::black);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        const QRectF footer(Margin, line + 6, width, 30);
        painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("page-scope quick guide"));
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 20, QFont::Bold));
        painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("%1 / %2").arg(i + 1).arg(guide.size()));
    }
    return painter.end() && ok ? 0 : 1;
}
