#include "QtPrompts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString Lines(QString text) {
    return text.replace('\r', '\n');
}

// "All files (*.*)|*.*|Text files (*.txt)|*.txt" -> the name filters Qt shows.
QStringList NameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        // The description already names its pattern; Qt reads the pattern from the parentheses,
        // so "*.*" must read as "*" to match files without a dot too.
        filters << description.replace("(*.*)", "(*)");
    }
    return filters;
}

// A message box that tells its close box from its escape button: QMessageBox answers the close
// box with the escape button (No in a Yes/No box), while the callers take it as Cancel.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool closedByCloseBox() const { return closeBox; }

protected:
    void closeEvent(QCloseEvent* event) override {
        // A button, Escape included, has been clicked before the box closes itself.
        closeBox = clickedButton() == nullptr;
        QMessageBox::closeEvent(event);
    }

private:
    bool closeBox = false;
};

} // namespace

MessageAnswer QtPrompts::message(MessageKind kind, const QString& text, MessageButtons buttons) {
    static const struct {
        QMessageBox::Icon icon;
        const char* title;
    } kinds[] = {{QMessageBox::Warning, QT_TR_NOOP("Warning")},
                 {QMessageBox::Critical, QT_TR_NOOP("Error")},
                 {QMessageBox::Information, QT_TR_NOOP("Information")},
                 {QMessageBox::Question, QT_TR_NOOP("Confirm")}};
    const auto& look = kinds[int(kind)];
    MessageBox box(look.icon, tr(look.title), Lines(text), QMessageBox::NoButton, owner);
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    if (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel) {
        yes = box.addButton(tr("&Yes"), QMessageBox::YesRole);
        no = box.addButton(tr("&No"), QMessageBox::NoRole);
    } else {
        ok = box.addButton(tr("OK"), QMessageBox::AcceptRole);
    }
    if (buttons == MessageButtons::OkCancel || buttons == MessageButtons::YesNoCancel)
        cancel = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(yes ? yes : ok);
    if (cancel)
        box.setEscapeButton(cancel);
    else if (!yes)
        box.setEscapeButton(ok);
    box.exec();
    if (box.closedByCloseBox())
        return MessageAnswer::Cancel;
    const auto* clicked = box.clickedButton();
    if (clicked == yes && yes)
        return MessageAnswer::Yes;
    if (clicked == no && no)
        return MessageAnswer::No;
    if (clicked == ok && ok)
        return MessageAnswer::Ok;
    // Escape or Cancel.
    return MessageAnswer::Cancel;
}

void QtPrompts::errorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), Lines(text),
                    QMessageBox::Ok, owner);
    box.exec();
}

bool QtPrompts::openFile(FileDialogOptions& options) {
    return runFileDialog(options, false);
}

bool QtPrompts::saveFile(FileDialogOptions& options) {
    return runFileDialog(options, true);
}

bool QtPrompts::runFileDialog(FileDialogOptions& options, bool save) {
    QFileDialog dialog(owner, options.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(
        save ? QFileDialog::AnyFile
             : (options.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    // Replacing a file is not asked about, as the settings dialogs never asked.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = NameFilters(options.filter);
    dialog.setNameFilters(filters);
    if (options.filterIndex >= 1 && options.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[options.filterIndex - 1]);
    dialog.setDefaultSuffix(options.defaultExt);
    if (!options.fileName.isEmpty())
        dialog.selectFile(options.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    options.fileName = dialog.selectedFiles().constFirst();
    options.filterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return true;
}
