#include "ui/StatusLabel.h"

#include <QLayout>

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent)
{
    setWordWrap(true);
}

QSize StatusLabel::sizeHint() const
{
    const int width = oneLineWidth();
    return {width, heightForWidth(width)};
}

void StatusLabel::showStatus(const QString &status, const QString &reason)
{
    setText(status);
    setToolTip(reason);
    // The label's sizes grow to its minimum, so the previous text's height must go first.
    setMinimumHeight(0);
    // Lays the row out now, so that the height goes by the width the new text gets.
    if (QLayout *layout = parentWidget() ? parentWidget()->layout() : nullptr)
        layout->activate();
    setMinimumHeight(heightForWidth(width()));
}

// Measured as the label measures the text it wraps, so that at this width it wraps nothing.
int StatusLabel::oneLineWidth() const
{
    const QRect unbounded(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int textWidth =
        fontMetrics().boundingRect(unbounded, int(alignment()) | Qt::TextWordWrap, text()).width();
    const QMargins margins = contentsMargins();
    return textWidth + margins.left() + margins.right() + 2 * margin();
}
