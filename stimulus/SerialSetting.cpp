#include "stimulus/SerialSetting.h"

std::optional<SerialSetting> SerialSetting::fromOption(const QString &text, QString *why)
{
    const auto fail = [why](const QString &reason) -> std::optional<SerialSetting> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    SerialSetting setting;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    setting.device = colon < 0 ? text : text.left(colon);
    if (setting.device.isEmpty())
        return fail(QStringLiteral("no device"));
    if (colon >= 0) {
        bool whole = false;
        setting.baud = text.mid(colon + 1).toInt(&whole);
        if (!whole || setting.baud <= 0)
            return fail(
                QStringLiteral("'%1' is not a rate in bits per second").arg(text.mid(colon + 1)));
    }
    return setting;
}
