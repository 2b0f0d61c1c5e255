#pragma once

#include <QComboBox>

// A combo box whose width does not follow its entries: a long entry, such as a camera given
// by a whole pipeline text, is shown shortened in the middle, with its full text as tooltip.
class ElidingComboBox : public QComboBox
{
    Q_OBJECT
public:
    // Room for this many characters, whatever the entries.
    static constexpr int contentsLength = 24;

    explicit ElidingComboBox(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showFullTextAsToolTip();
};
