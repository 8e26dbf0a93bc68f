#include "base/filenames.h"

#include <QString>
#include <QTextCodec>

namespace {

constexpr int utf8Mib = 106;
// A byte that is not part of UTF-8 becomes U+EF80 to U+EFFF, from the private use area: a string
// with lone surrogates would fail the model's name filter, a regular expression.
constexpr ushort escapeBase = 0xef00;

bool isEscape(uint c)
{
    return c >= escapeBase + 0x80 && c <= escapeBase + 0xff;
}

// The length of the well-formed UTF-8 sequence that starts with `lead`, 0 for a byte that
// starts none; `low` and `high` bound the byte after it (no overlong forms, no surrogates).
int sequenceLength(uchar lead, uchar &low, uchar &high)
{
    low = 0x80;
    high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf)
        return 2;
    if (lead >= 0xe0 && lead <= 0xef) {
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
        return 3;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
        return 4;
    }
    return 0;
}

class FileNameCodec : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("page-scope-file-names"); }
    // Not UTF-8's number: Qt lists a directory entry only if this codec says it decodes.
    int mibEnum() const override { return -3000; }

protected:
    // Always the whole input: Qt lists a directory entry only if its name decodes without bytes
    // left over, and a name that ends in the lead byte of a sequence ends there.
    QString convertToUnicode(const char *in, int length, ConverterState *) const override
    {
        QString text;
        text.reserve(length);
        const auto *data = reinterpret_cast<const uchar *>(in);
        for (int i = 0; i < length;) {
            uchar low, high;
            const int n = data[i] < 0x80 ? 1 : sequenceLength(data[i], low, high);
            int valid = n == 0 ? 0 : 1;
            while (valid > 0 && valid < n && i + valid < length &&
                   data[i + valid] >= (valid == 1 ? low : 0x80) &&
                   data[i + valid] <= (valid == 1 ? high : 0xbf))
                ++valid;
            // Decoded here: QString::fromUtf8 would drop a byte order mark.
            uint code = n == 1 ? data[i] : data[i] & (0x7f >> n);
            for (int k = 1; k < valid; ++k)
                code = code << 6 | (data[i + k] & 0x3f);
            // Those characters themselves are kept as bytes too, so that no two names meet.
            if (n == 0 || valid < n || isEscape(code)) {
                text += QChar(ushort(escapeBase | data[i++]));
                continue;
            }
            if (QChar::requiresSurrogates(code)) {
                text += QChar(QChar::highSurrogate(code));
                text += QChar(QChar::lowSurrogate(code));
            } else {
                text += QChar(ushort(code));
            }
            i += n;
        }
        return text;
    }

    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *) const override
    {
        QByteArray bytes;
        bytes.reserve(length);
        int firstUnwritten = 0;
        for (int i = 0; i < length; ++i) {
            const ushort c = in[i].unicode();
            if (!isEscape(c))
                continue;
            bytes += QString::fromRawData(in + firstUnwritten, i - firstUnwritten).toUtf8();
            bytes += char(c & 0xff);
            firstUnwritten = i + 1;
        }
        return bytes + QString::fromRawData(in + firstUnwritten, length - firstUnwritten).toUtf8();
    }
};

} // namespace

void keepFileNamesIntact()
{
    QTextCodec *locale = QTextCodec::codecForLocale();
    if (locale && locale->mibEnum() == utf8Mib)
        // Qt keeps every codec it is given until the process ends.
        QTextCodec::setCodecForLocale(new FileNameCodec);
}

QString displayedFileName(const QByteArray &name)
{
    return QString::fromUtf8(name);
}
