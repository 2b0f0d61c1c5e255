#include "stimulus/SerialText.h"

namespace {

bool printable(char byte)
{
    return byte >= 0x20 && byte < 0x7f && byte != '\\';
}

int hexDigit(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

} // namespace

QString SerialText::escaped(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        if (printable(byte))
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(uchar(byte), 2, 16, QLatin1Char('0'));
    }
    return text;
}

QByteArray SerialText::unescaped(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    for (int i = 0; i < utf8.size(); ++i) {
        const char byte = utf8[i];
        const char next = i + 1 < utf8.size() ? utf8[i + 1] : '\0';
        if (byte != '\\' || next == '\0') {
            bytes += byte;
            continue;
        }
        if (next == 'x' && i + 3 < utf8.size() && hexDigit(utf8[i + 2]) >= 0 &&
            hexDigit(utf8[i + 3]) >= 0) {
            bytes += char(hexDigit(utf8[i + 2]) * 16 + hexDigit(utf8[i + 3]));
            i += 3;
            continue;
        }
        const char simple = next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        // An escape that means nothing keeps its backslash.
        if (simple == next && next != '\\')
            bytes += byte;
        bytes += simple;
        ++i;
    }
    return bytes;
}
