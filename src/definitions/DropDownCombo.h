#pragma once

#include <QComboBox>

class QAccessibleInterface;

// A combo box that announces its list is about to open, before it opens, so that a handler can
// save or refill first.
class DropDownCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override;
    // Chooses an entry as a choice from the list does: the list's opening is announced first,
    // then the entry of that name is selected and reported as the user's choice.
    void choose(int index);

    // What a screen reader is given for the combo: named by its label, its entry as its value,
    // and its entries as items, each chosen by its press action.
    static QAccessibleInterface* accessibleInterface(DropDownCombo* combo);

Q_SIGNALS:
    void dropDown();
};
