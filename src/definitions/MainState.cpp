#include "MainState.h"

#include "core/Handlers.h"
#include "definitions/DropDownCombo.h"
#include "platform/SettingsStore.h"
#include "platform/VallorinError.h"

#include <QAbstractButton>
#include <QLineEdit>

MainState::MainState(QWidget& window, Services services, PageForms forms)
    : Find(forms.find), Repair(forms.repair), Check(forms.check), Guard(forms.guard),
      View(forms.view), ownerWindow(window), services(std::move(services)) {}

MainState::~MainState() = default;

SettingsStore& MainState::store() {
    if (!Settings)
        throw VallorinError(QStringLiteral("The settings store is not open"));
    return *Settings;
}

bool MainState::guarded(const std::function<void()>& handler) {
    return RunGuarded(prompts(), handler);
}

void MainState::onClick(QAbstractButton* button, Handler handler) {
    QObject::connect(button, &QAbstractButton::clicked, &ownerWindow,
                     [this, handler] { guarded([&] { handler(*this); }); });
}

void MainState::onToggled(QAbstractButton* box, Handler handler) {
    QObject::connect(box, &QAbstractButton::toggled, &ownerWindow,
                     [this, handler] { guarded([&] { handler(*this); }); });
}

void MainState::onChecked(QAbstractButton* radio, Handler handler) {
    QObject::connect(radio, &QAbstractButton::toggled, &ownerWindow, [this, handler](bool checked) {
        if (checked)
            guarded([&] { handler(*this); });
    });
}

void MainState::onTextChanged(QLineEdit* edit, Handler handler) {
    QObject::connect(edit, &QLineEdit::textChanged, &ownerWindow,
                     [this, handler] { guarded([&] { handler(*this); }); });
}

void MainState::onDropDown(DropDownCombo* combo, Handler handler) {
    QObject::connect(combo, &DropDownCombo::dropDown, &ownerWindow,
                     [this, handler] { guarded([&] { handler(*this); }); });
}

void MainState::onActivated(QComboBox* combo, Handler handler) {
    QObject::connect(combo, &QComboBox::activated, &ownerWindow,
                     [this, handler] { guarded([&] { handler(*this); }); });
}
