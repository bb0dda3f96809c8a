#include "Accessibility.h"

#include "caption/Wordcap.h"
#include "definitions/DropDownCombo.h"
#include "shell/ReportView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDialog>

namespace {

// A window is called what its title bar shows; the title bar is painted, so the window title
// (empty in the About box) is not what a sighted user reads.
class CaptionedWindowAccessible : public QAccessibleWidget {
public:
    CaptionedWindowAccessible(QWidget* window, QAccessible::Role role)
        : QAccessibleWidget(window, role) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            if (const auto* caption =
                    widget()->findChild<TMSOfficeCaption*>(QString(), Qt::FindDirectChildrenOnly))
                return caption->TitleText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* Interfaces(const QString& className, QObject* object) {
    if (className == QLatin1String("DropDownCombo"))
        return DropDownCombo::accessibleInterface(static_cast<DropDownCombo*>(object));
    if (className == QLatin1String("ReportView"))
        return ReportView::accessibleInterface(static_cast<ReportView*>(object));
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->isWindow() ||
        (widget->windowType() != Qt::Window && widget->windowType() != Qt::Dialog))
        return nullptr;
    // The program's windows (those with its title bar), and a bare widget made a window (the
    // help viewer): Qt would give them the role of a pane.
    const bool captioned =
        widget->findChild<TMSOfficeCaption*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
    if (!captioned && className != QLatin1String("QWidget"))
        return nullptr;
    return new CaptionedWindowAccessible(
        widget, qobject_cast<QDialog*>(widget) ? QAccessible::Dialog : QAccessible::Window);
}

} // namespace

void InstallAccessibility() {
    QAccessible::installFactory(Interfaces);
}
