#include "Keyboard.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>

#include <algorithm>

namespace {

// Qt counts into a radio button's group every radio button below its parent, however deep (the
// drives' panel inside the boot sector box): focusing one of the outer buttons takes the inner
// ones' Tab stop, and choosing one can take their choice. A button group of each parent's own
// buttons keeps the groups apart.
void GroupSiblingRadioButtons(QWidget* window) {
    QHash<QWidget*, QButtonGroup*> groups;
    for (QRadioButton* button : window->findChildren<QRadioButton*>()) {
        if (!button->autoExclusive() || button->group())
            continue;
        QButtonGroup*& group = groups[button->parentWidget()];
        if (!group)
            group = new QButtonGroup(button->parentWidget());
        group->addButton(button);
    }
}

// Keeps the Tab stops of one window's radio groups.
class RadioTabStops : public QObject {
public:
    explicit RadioTabStops(QWidget* window) : QObject(window) {
        GroupSiblingRadioButtons(window);
        for (QRadioButton* button : window->findChildren<QRadioButton*>()) {
            if (!button->autoExclusive())
                continue;
            button->installEventFilter(this);
            connect(button, &QAbstractButton::toggled, this,
                    [button] { update(button->parentWidget()); });
        }
        for (QRadioButton* button : window->findChildren<QRadioButton*>())
            update(button->parentWidget());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange)
            update(static_cast<QWidget*>(watched)->parentWidget());
        return QObject::eventFilter(watched, event);
    }

private:
    static void update(QWidget* group) {
        QList<QRadioButton*> buttons;
        for (QRadioButton* button :
             group->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly))
            if (button->autoExclusive())
                buttons << button;
        const auto checked = std::find_if(buttons.begin(), buttons.end(), [](QRadioButton* b) {
            return b->isChecked() && b->isEnabled();
        });
        const auto enabled = std::find_if(buttons.begin(), buttons.end(),
                                          [](QRadioButton* b) { return b->isEnabled(); });
        QRadioButton* stop = checked != buttons.end()   ? *checked
                             : enabled != buttons.end() ? *enabled
                                                        : nullptr;
        // The others still take the focus by a click, an arrow key or their letter.
        for (QRadioButton* button : buttons)
            button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
};

} // namespace

void KeepOneTabStopPerRadioGroup(QWidget* window) {
    new RadioTabStops(window);
}

void AddPageKeys(QWidget* window, QTabWidget* pages) {
    const auto turn = [pages](int by) {
        const int count = pages->count();
        if (count > 0)
            pages->setCurrentIndex((pages->currentIndex() + by + count) % count);
    };
    const QKeySequence forward[] = {QKeySequence(Qt::CTRL | Qt::Key_Tab),
                                    QKeySequence(Qt::CTRL | Qt::Key_PageDown)};
    const QKeySequence back[] = {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                                 QKeySequence(Qt::CTRL | Qt::Key_PageUp)};
    // Window shortcuts come before the focused control's own keys: a combo's PgUp and PgDn or
    // an edit's Ctrl+Tab do not hold them.
    for (const QKeySequence& keys : forward)
        QObject::connect(new QShortcut(keys, window), &QShortcut::activated, pages,
                         [turn] { turn(1); });
    for (const QKeySequence& keys : back)
        QObject::connect(new QShortcut(keys, window), &QShortcut::activated, pages,
                         [turn] { turn(-1); });
}

void ChainPagesBeforeButtons(QTabWidget* pages, const QList<QWidget*>& buttons) {
    // Every page's controls stay in their order; only the shown page's take the focus.
    QWidget* previous = nullptr;
    QWidget* window = pages->window();
    for (QWidget* widget = window->nextInFocusChain(); widget != window;
         widget = widget->nextInFocusChain())
        if (widget->focusPolicy() != Qt::NoFocus && pages->isAncestorOf(widget))
            previous = widget;
    for (QWidget* button : buttons) {
        if (previous)
            QWidget::setTabOrder(previous, button);
        previous = button;
    }
}
