#include "MainState.h"

#include "core/Handlers.h"
#include "definitions/DropDownCombo.h"
#include "platform/VallorinError.h"
#include "store/SettingsStore.h"

#include <QAbstractButton>
#include <QLineEdit>

#include <exception>

MainState::MainState(QWidget& window, Services services, PageForms forms)
    : Find(forms.find), Repair(forms.repair), Check(forms.check), Guard(forms.guard),
      View(forms.view), ownerWindow(window), services(std::move(services)) {}

MainState::~MainState() = default;

SettingsStore& MainState::store() {
    if (!Settings || StoreGivenUp)
        throw UnusableStoreError(QCoreApplication::translate(
            "MainState", "The settings file could not be used, so nothing can be read from it or "
                         "saved in it until the program starts again."));
    return *Settings;
}

bool MainState::guarded(const std::function<void()>& handler) {
    const std::optional<QString> failure = attempt(handler);
    if (failure && !failure->isEmpty())
        prompts().errorBox(*failure);
    return !failure;
}

std::optional<QString> MainState::attempt(const std::function<void()>& handler) {
    if (handlerDepth++ == 0)
        storeFailureShown = false;
    std::optional<QString> failure;
    try {
        handler();
    } catch (const UnusableStoreError& error) {
        // Once for all the handler did: what it did after the failure met the same store.
        if (!storeFailureShown)
            prompts().errorBox(GeneralErrorText(error.message()));
        storeFailureShown = true;
        failure = QString();
        GiveUpStore();
    } catch (const VallorinError& error) {
        failure = GeneralErrorText(error.message());
    } catch (const std::exception& error) {
        failure = GeneralErrorText(QString::fromLocal8Bit(error.what()));
    }
    if (--handlerDepth == 0 && StoreGivenUp)
        Settings.reset();
    return failure;
}

void MainState::GiveUpStore() {
    if (!StoreGivenUp) {
        StoreGivenUp = true;
        DisableStoreControls();
    }
    if (handlerDepth == 0)
        Settings.reset();
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
