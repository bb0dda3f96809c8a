#include "DropDownCombo.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

void DropDownCombo::showPopup() {
    Q_EMIT dropDown();
    QComboBox::showPopup();
}

void DropDownCombo::choose(int index) {
    if (index < 0 || index >= count())
        return;
    // The announcement may refill the list (a toolkit file added or gone): the entry chosen is
    // the one of the name asked for, wherever it now stands, and none when it is gone.
    const QString entry = itemText(index);
    Q_EMIT dropDown();
    const int now = findText(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (now < 0)
        return;
    setCurrentIndex(now);
    Q_EMIT activated(now);
    Q_EMIT textActivated(entry);
}

namespace {

// One entry of a combo: an item whose press chooses it. It answers from the combo's entry of
// its row at the time it is asked, so it stays right when the entries change.
class ComboItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ComboItemAccessible(DropDownCombo* combo, int row) : combo(combo), row(row) {}

    bool isValid() const override { return combo && row < combo->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return combo ? combo->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(combo.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? combo->itemText(row) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        // In the open list the entry's own row; closed, the chosen entry stands in the combo.
        QAbstractItemView* list = combo->view();
        if (list->isVisible()) {
            const QRect place = list->visualRect(combo->model()->index(row, 0));
            return QRect(list->viewport()->mapToGlobal(place.topLeft()), place.size());
        }
        return row == combo->currentIndex() ? QRect(combo->mapToGlobal(QPoint(0, 0)), combo->size())
                                            : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        state.selected = isValid() && row == combo->currentIndex();
        state.disabled = !isValid() || !combo->isEnabled();
        state.invisible = rect().isEmpty();
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override {
        return isValid() && combo->isEnabled() ? QStringList{pressAction()} : QStringList{};
    }
    void doAction(const QString& action) override {
        if (action == pressAction() && isValid() && combo->isEnabled())
            combo->choose(row);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<DropDownCombo> combo;
    int row;
};

class ComboAccessible : public QAccessibleWidget {
public:
    explicit ComboAccessible(DropDownCombo* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}
    ~ComboAccessible() override {
        for (QAccessible::Id id : items)
            if (id != 0)
                QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return combo()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= combo()->count())
            return nullptr;
        if (size_t(index) >= items.size())
            items.resize(size_t(index) + 1, 0);
        QAccessible::Id& id = items[size_t(index)];
        if (id == 0)
            id = QAccessible::registerAccessibleInterface(new ComboItemAccessible(combo(), index));
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (size_t i = 0; i < items.size() && int(i) < combo()->count(); ++i)
            if (items[i] != 0 && QAccessible::accessibleInterface(items[i]) == child)
                return int(i);
        return -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override {
        return combo()->hasFocus() ? child(combo()->currentIndex()) : nullptr;
    }
    // The name is the label's (the buddy), never the chosen entry, which is the value.
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return combo()->currentText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = combo()->view()->isVisible();
        state.collapsed = !state.expanded;
        return state;
    }
    QStringList actionNames() const override {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    DropDownCombo* combo() const { return static_cast<DropDownCombo*>(widget()); }
    // The items' ids by row, made when first asked for; freed with the combo's interface.
    mutable std::vector<QAccessible::Id> items;
};

} // namespace

QAccessibleInterface* DropDownCombo::accessibleInterface(DropDownCombo* combo) {
    return new ComboAccessible(combo);
}
