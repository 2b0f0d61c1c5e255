#include "capture/CameraMode.h"

#include <QDebug>
#include <QRegularExpression>

#include <cmath>
#include <cstdint>

namespace {

constexpr int maximumSide = 16384;
constexpr double maximumFps = 10000;
// Drivers round frame intervals: 29.97 may come back as 30000/1001 or as 30.
constexpr double rateTolerance = 0.01;

} // namespace

std::optional<CameraMode> CameraMode::parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{1,5})x(\\d{1,5})@(\\d{1,5}(?:\\.\\d{1,3})?)(?::([0-9A-Za-z ]{4}))?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    CameraMode mode;
    mode.width = match.captured(1).toInt();
    mode.height = match.captured(2).toInt();
    mode.fps = match.captured(3).toDouble();
    mode.fourcc = match.captured(4);
    if (mode.width < 1 || mode.height < 1 || mode.width > maximumSide ||
        mode.height > maximumSide || mode.fps <= 0 || mode.fps > maximumFps)
        return std::nullopt;
    return mode;
}

std::optional<CameraMode> CameraMode::fromOption(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const std::optional<CameraMode> mode = parse(text);
    if (!mode)
        qDebug("camera mode not understood, none set: \"%s\"", qPrintable(text));
    return mode;
}

bool CameraMode::grantedBy(const CameraMode &given) const
{
    return given.width == width && given.height == height &&
           std::abs(given.fps - fps) <= rateTolerance * fps &&
           (fourcc.isEmpty() || given.fourcc == fourcc);
}

QString CameraMode::text() const
{
    QString text = QStringLiteral("%1x%2@%3").arg(width).arg(height).arg(fps);
    if (!fourcc.isEmpty())
        text += QLatin1Char(':') + fourcc;
    return text;
}

int CameraMode::fourccCode(const QString &fourcc)
{
    const QByteArray characters = fourcc.toLatin1();
    int code = 0;
    for (int i = 0; i < 4 && i < characters.size(); ++i)
        code |= int(std::uint8_t(characters[i])) << (8 * i);
    return code;
}

QString CameraMode::fourccText(int code)
{
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char character = char((code >> (8 * i)) & 0xff);
        if (character < ' ' || character > '~')
            return QString();
        text += QLatin1Char(character);
    }
    return text;
}
