#pragma once

#include <QComboBox>

// A combo box that announces its list is about to open, before it opens, so that a handler can
// save or refill first.
class DropDownCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;

Q_SIGNALS:
    void dropDown();
};
