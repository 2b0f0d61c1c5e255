#pragma once

#include <QLabel>

// The run's status: a text meant to read as one line beside the time, which takes a second
// line rather than widen the window when the row has no room for it. A word-wrapped label
// asks for a "nice rectangle" and so breaks even short texts; this one asks for its text's
// whole width on one line, and wraps only when the row gives it less.
class StatusLabel : public QLabel
{
public:
    explicit StatusLabel(QWidget *parent = nullptr);

    QSize sizeHint() const override;

    // Shows status, with reason as its tooltip, and makes room for its lines once the row
    // has laid it out: the window's layout goes by a wrapped label's height for one line.
    void showStatus(const QString &status, const QString &reason);

private:
    int oneLineWidth() const;
};
