#include "eyelid/EyelidThreshold.h"

std::optional<EyelidThreshold> EyelidThreshold::parse(const QString &text, QString &reason)
{
    bool whole = false;
    const int level = text.trimmed().toInt(&whole);
    if (!whole || level < 0 || level > 255) {
        reason =
            QStringLiteral("eyelid threshold '%1' is not a whole number from 0 to 255").arg(text);
        return std::nullopt;
    }
    return EyelidThreshold{level, ChosenBy::Given};
}

QString EyelidThreshold::chosenByText() const
{
    return chosenBy == ChosenBy::Otsu ? QStringLiteral("otsu") : QStringLiteral("given");
}

QJsonObject EyelidThreshold::toJson() const
{
    return {{QStringLiteral("threshold"), level}, {QStringLiteral("chosenBy"), chosenByText()}};
}
