#include "Keyboard.h"

#include <QEvent>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>

#include <algorithm>

namespace {

// Keeps the Tab stops of one window's radio groups.
class RadioTabStops : public QObject {
public:
    explicit RadioTabStops(QWidget* window) : QObject(window) {
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
