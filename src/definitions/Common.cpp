#include "Common.h"

#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "platform/VallorinError.h"
#include "platform/qt/StyleIcons.h"
#include "shell/AVTKmain.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QSet>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QDate DateTimeEpoch(1899, 12, 30);
constexpr qint64 MsecsPerDay = 86'400'000;
// The whole days a date-time can hold: 1 January 0001 to 31 December 9999.
constexpr double FirstDay = -693593;
constexpr double LastDay = 2958465;

bool IsAsciiLetter(QChar c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

QChar AsciiUpper(QChar c) {
    return (c >= 'a' && c <= 'z') ? QChar(c.unicode() - 32) : c;
}

std::optional<qint64> ParseDigits(QStringView digits, int base) {
    if (digits.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : digits) {
        const int digit = c.isDigit()              ? c.digitValue()
                          : (c >= 'a' && c <= 'f') ? c.unicode() - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c.unicode() - 'A' + 10
                                                   : 99;
        if (digit >= base || c.unicode() > 127)
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFF'FFFFLL)
            return std::nullopt;
    }
    return value;
}

} // namespace

// ---- Text forms of stored values

std::optional<qint32> ParseIntegerText(const QString& text) {
    QStringView rest(text);
    while (!rest.isEmpty() && rest.front() == ' ')
        rest = rest.mid(1);
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == '+' || rest.front() == '-')) {
        negative = rest.front() == '-';
        rest = rest.mid(1);
    }
    std::optional<qint64> magnitude;
    bool hex = false;
    if (rest.startsWith('$')) {
        hex = true;
        magnitude = ParseDigits(rest.mid(1), 16);
    } else if (text.size() > 2 && (rest.startsWith(u"0x") || rest.startsWith(u"0X"))) {
        hex = true;
        magnitude = ParseDigits(rest.mid(2), 16);
    } else {
        magnitude = ParseDigits(rest, 10);
    }
    if (!magnitude)
        return std::nullopt;
    qint64 value = negative ? -*magnitude : *magnitude;
    // Hexadecimal texts take the 32-bit pattern ("$FFFFFFFF" is -1), decimal ones must fit.
    if (hex && value > 0x7FFF'FFFFLL && value <= 0xFFFF'FFFFLL)
        value -= 0x1'0000'0000LL;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(value);
}

bool FlagFromText(const QString& text, bool defaultValue) {
    const auto number = ParseIntegerText(text);
    return number ? *number != 0 : defaultValue;
}

QString FlagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString FloatText(double value) {
    if (value == 0 || !std::isfinite(value))
        return QStringLiteral("0");
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    // buffer: d.dddddddddddddde[+-]xx
    QString digits = QString::fromLatin1(buffer, 1) + QString::fromLatin1(buffer + 2, 14);
    const int exponent = std::atoi(buffer + 17);
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    const QString point = QLocale().decimalPoint();
    QString text;
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            text = "0" + point + QString(-exponent - 1, '0') + digits;
        } else if (digits.size() <= exponent + 1) {
            text = digits + QString(exponent + 1 - digits.size(), '0');
        } else {
            text = digits.left(exponent + 1) + point + digits.mid(exponent + 1);
        }
    } else {
        text = digits.left(1);
        if (digits.size() > 1)
            text += point + digits.mid(1);
        text += 'E' + QString::number(exponent);
    }
    return value < 0 ? '-' + text : text;
}

std::optional<double> ParseFloatText(const QString& text) {
    QString number = text.trimmed();
    if (number.isEmpty())
        return std::nullopt;
    number.replace(',', '.');
    for (QChar c : number) {
        if (!(c.isDigit() && c.unicode() < 128) && c != '.' && c != '+' && c != '-' && c != 'e' &&
            c != 'E')
            return std::nullopt;
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double ToDateTime(const QDateTime& local) {
    const qint64 days = DateTimeEpoch.daysTo(local.date());
    const double fraction = double(local.time().msecsSinceStartOfDay()) / MsecsPerDay;
    // Before the epoch the day count is negative and the time of day still adds its fraction
    // away from zero: 29 December 1899 6:00 is -1.25.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

QDateTime FromDateTime(double dateTime) {
    // Beyond the years 1 to 9999 the day count is clamped: converting it as it is would
    // overflow the integer that the date is made from.
    if (!std::isfinite(dateTime))
        dateTime = 0;
    const double whole = std::trunc(dateTime);
    qint64 msecs = std::llround(std::fabs(dateTime - whole) * MsecsPerDay);
    msecs = std::clamp<qint64>(msecs, 0, MsecsPerDay - 1);
    const double days = std::clamp(whole, FirstDay, LastDay);
    return QDateTime(DateTimeEpoch.addDays(qint64(days)),
                     QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

QString DateTimeText(double dateTime) {
    return FloatText(dateTime);
}

double DateTimeFromText(const QString& text) {
    // A day count outside the years 1 to 9999 was never written by the program: never.
    const double value = ParseFloatText(text).value_or(0.0);
    const double days = std::trunc(value);
    return days >= FirstDay && days <= LastDay ? value : 0.0;
}

bool WithOpenKey(SettingsStore& store, const QString& path, bool canCreate,
                 const std::function<void()>& body) {
    if (!store.openKey(path, canCreate)) {
        store.closeKey();
        return false;
    }
    try {
        body();
    } catch (...) {
        store.closeKey();
        throw;
    }
    store.closeKey();
    return true;
}

bool ReadFlag(SettingsStore& store, const QString& name, bool defaultValue) {
    // A value of another type than text is garbage for a flag, as an unreadable text is.
    const ValueType type = store.valueType(name);
    if (type != ValueType::String && type != ValueType::ExpandString)
        return defaultValue;
    return FlagFromText(store.readString(name), defaultValue);
}

void WriteFlag(SettingsStore& store, const QString& name, bool on) {
    store.writeString(name, FlagText(on));
}

QString ReadText(SettingsStore& store, const QString& name, const QString& fallback) {
    const ValueType type = store.valueType(name);
    if (type != ValueType::String && type != ValueType::ExpandString)
        return fallback;
    return store.readString(name);
}

// ---- Definition lists

int FindComboEntry(const QComboBox* combo, const QString& text) {
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void SelectComboEntry(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(std::max(0, FindComboEntry(combo, text)));
}

void FillDefinitionCombo(TMainForm& form, const QString& operation, QComboBox* combo) {
    SettingsStore& store = form.store();
    const QString path = form.ProgramKey + '\\' + operation;
    if (!store.keyExists(path))
        return;
    QString selected;
    WithOpenKey(store, path, false, [&] {
        // The names listed so far, folded as a comparison without case folds them: one look-up
        // per name, where searching the combo for each would grow with the square of the count.
        QSet<QString> listed;
        for (int i = 0; i < combo->count(); ++i)
            listed.insert(combo->itemText(i).toCaseFolded());
        QStringList added;
        for (const QString& name : store.getKeyNames()) {
            if (!listed.contains(name.toCaseFolded())) {
                listed.insert(name.toCaseFolded());
                added << name;
            }
        }
        combo->addItems(added);
        if (combo->count() > 0)
            combo->setEnabled(true);
        selected = ReadText(store, "Selected");
    });
    combo->setCurrentIndex(FindComboEntry(combo, selected));
}

void SetDefinitionButtonIcons(QAbstractButton* add, QAbstractButton* remove) {
    add->setIcon(StylePicture(add, QStyle::SP_FileDialogNewFolder));
    remove->setIcon(StylePicture(remove, QStyle::SP_TrashIcon));
}

bool DefinitionMissing(TMainForm& form, QComboBox* combo) {
    if (!combo->currentText().isEmpty())
        return false;
    form.prompts().message(MessageKind::Information,
                           combo->count() == 0 ? "There are no definitions for this operation.\r"
                                                 "Click the add button to create one."
                                               : "You must select a definition for this operation.",
                           MessageButtons::Ok);
    return true;
}

void ReportDefinitionNotFound(TMainForm& form) {
    form.prompts().message(MessageKind::Information,
                           "Information for this definition not found.\r\r"
                           "Choose your settings and they will be saved.",
                           MessageButtons::Ok);
}

FileSystem::FolderListing ListToolkitFolder(TMainForm& form) {
    return FileSystem::FolderListing(form.ToolkitFolder.isEmpty() ? QStringLiteral(".")
                                                                  : form.ToolkitFolder);
}

void FillToolkitFileCombo(QComboBox* combo, const FileSystem::FolderListing& toolkit,
                          const QString& extension) {
    static const QStringList reserved = {"messages", "mem", "guard", "names", "find", "repair"};
    combo->clear();
    combo->addItem(NoneEntry);
    combo->setCurrentIndex(0);
    QStringList bases;
    for (const QString& name : toolkit.byExtension(extension)) {
        const QString base = name.left(name.size() - 4);
        if (!reserved.contains(base, Qt::CaseInsensitive))
            bases << base;
    }
    combo->addItems(bases); // one insertion into the list, not one per entry
}

void FillToolkitFileCombo(TMainForm& form, QComboBox* combo, const QString& extension) {
    FillToolkitFileCombo(combo, ListToolkitFolder(form), extension);
}

// ---- Drive lists

void FilterDriveEdit(QLineEdit* edit) {
    // A text set by code counts as having its caret at the start, as the original edit control
    // put it there: only a user's edit leaves the edit modified.
    const int caret = edit->isModified() ? edit->cursorPosition() : 0;
    QString text = edit->text();
    if (text.size() < 2)
        return;
    bool deleted = false;
    if (caret >= 1 && caret <= text.size()) {
        const QChar typed = AsciiUpper(text[caret - 1]);
        for (int i = 0; i < text.size(); ++i) {
            if (i != caret - 1 && AsciiUpper(text[i]) == typed) {
                text.remove(caret - 1, 1);
                deleted = true;
                break;
            }
        }
    }
    const qsizetype before = text.size();
    text.removeIf([](QChar c) { return !IsAsciiLetter(c); });
    deleted = deleted || text.size() != before;
    if (!deleted)
        return;
    const bool modified = edit->isModified();
    edit->setText(text); // runs the change handler again, which finds nothing more to delete
    edit->setModified(modified);
    edit->setCursorPosition(std::max(0, caret - 1));
}

void UpdateFloppiesOption(const QString& driveText, QCheckBox* box) {
    box->setEnabled(std::any_of(driveText.begin(), driveText.end(), [](QChar c) {
        return c == 'A' || c == 'B' || c == 'a' || c == 'b';
    }));
}

bool DriveReady(TMainForm& form, QChar letter) {
    if (letter < 'A' || letter > 'Z')
        throw VallorinError("Not a valid drive ID");
    return Drives::DriveRootReady(form.prefixFolder(), letter);
}

bool ValidateDrives(TMainForm& form, const QString& driveText) {
    QString bad;
    for (QChar c : driveText) {
        const QChar letter = AsciiUpper(c);
        if (!DriveReady(form, letter))
            bad += ' ' + QString(letter);
    }
    if (bad.isEmpty())
        return true;
    form.prompts().message(MessageKind::Error,
                           "The following drives you have chosen\rare not ready or are not "
                           "valid:\r\r" +
                               bad,
                           MessageButtons::Ok);
    return false;
}

QString FormatDriveList(const QString& driveText) {
    QStringList items;
    for (QChar c : driveText)
        items << QString(c) + ':';
    return items.join(';');
}

// ---- Last-run text

namespace {

QString ClockText(const QTime& time) {
    const int hour = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    return QString("%1:%2%3")
        .arg(hour)
        .arg(time.minute(), 2, 10, QChar('0'))
        .arg(time.hour() < 12 ? "am" : "pm");
}

} // namespace

QString LastRunText(double dateTime, const QDateTime& now) {
    if (dateTime == 0)
        return QStringLiteral("Unknown.");
    const QDateTime when = FromDateTime(dateTime);
    const qint64 days = when.date().daysTo(now.date());
    const QLocale locale;
    const QString weekday = locale.dayName(when.date().dayOfWeek(), QLocale::LongFormat);
    if (days < 0)
        return {};
    if (days == 0)
        return "Today at " + ClockText(when.time());
    if (days == 1)
        return "Yesterday at " + ClockText(when.time());
    if (days <= 7)
        return "Last " + weekday + " at " + ClockText(when.time());
    return QString("%1 %2 %3 %4 %5")
        .arg(weekday)
        .arg(when.date().day())
        .arg(locale.monthName(when.date().month(), QLocale::LongFormat))
        .arg(when.date().year(), 4, 10, QChar('0'))
        .arg(ClockText(when.time()));
}
