#include "ui/ElidingComboBox.h"

#include <QStylePainter>

ElidingComboBox::ElidingComboBox(QWidget *parent) : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(contentsLength);
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ElidingComboBox::showFullTextAsToolTip);
}

void ElidingComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect textRect =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    option.currentText =
        fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, textRect.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void ElidingComboBox::showFullTextAsToolTip()
{
    setToolTip(currentText());
}
