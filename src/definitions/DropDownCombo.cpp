#include "DropDownCombo.h"

void DropDownCombo::showPopup() {
    Q_EMIT dropDown();
    QComboBox::showPopup();
}
