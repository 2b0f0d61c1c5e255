#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The grey level above which a pixel of the eye's region counts as lid, and how it was chosen:
// given by the operator (--eyelid-threshold N) or chosen by Otsu's method from the region at
// the start of a recording. The run record keeps both.
struct EyelidThreshold
{
    enum class ChosenBy { Given, Otsu };

    int level = 0;
    ChosenBy chosenBy = ChosenBy::Given;

    // A given threshold: a whole number from 0 to 255, blanks around it allowed. Nothing, with
    // the reason, for another text.
    static std::optional<EyelidThreshold> parse(const QString &text, QString &reason);
    // "given" or "otsu".
    QString chosenByText() const;
    // {"threshold": 87, "chosenBy": "otsu"}
    QJsonObject toJson() const;

    bool operator==(const EyelidThreshold &other) const
    {
        return level == other.level && chosenBy == other.chosenBy;
    }
};
