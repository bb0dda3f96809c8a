#include "CommandLines.h"

#include "core/TextForms.h"

namespace {

bool HasBlank(const QString& text) {
    return text.contains(u' ') || text.contains(u'\t');
}

// " /D=c:;d:" for listed drives, " /AD" or " /LOCAL" for the other choices.
QString DriveSwitch(DriveChoice drives, const QString& driveText) {
    switch (drives) {
    case DriveChoice::All:
        return QStringLiteral(" /AD");
    case DriveChoice::Local:
        return QStringLiteral(" /LOCAL");
    case DriveChoice::Listed:
        break;
    }
    return QStringLiteral(" /D=") + FormatDriveList(driveText);
}

// " /C=" and " /EXTRA=" for a chosen checklist and extra driver, each one argument.
QString ChooserSwitches(const QString& checkList, const QString& extraDrv) {
    QString s;
    if (checkList != NoneEntry)
        s += QStringLiteral(" /C=") + ArgumentText(checkList + QStringLiteral(".lst"));
    if (extraDrv != NoneEntry)
        s += QStringLiteral(" /EXTRA=") + ArgumentText(extraDrv + QStringLiteral(".drv"));
    return s;
}

} // namespace

QString ArgumentText(const QString& text) {
    if (!HasBlank(text) && !text.contains(u'"'))
        return text;
    // The quoting rules of CommandLineToArgvW: backslashes count only before a quote, where
    // they are doubled, and a quote of the text is escaped.
    QString quoted = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (QChar c : text) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"')
            quoted += QString(backslashes * 2 + 1, u'\\') + u'"';
        else
            quoted += QString(backslashes, u'\\') + c;
        backslashes = 0;
    }
    return quoted + QString(backslashes * 2, u'\\') + u'"';
}

QString WithProgramQuoted(const QString& folder, const QString& commandLine) {
    // A folder with a quote in its name cannot be quoted; the toolkit's file names hold neither.
    if (folder.isEmpty() || !commandLine.startsWith(folder) || !HasBlank(folder) ||
        folder.contains(u'"'))
        return commandLine;
    qsizetype end = folder.size();
    while (end < commandLine.size() && commandLine[end] != u' ' && commandLine[end] != u'\t')
        ++end;
    return u'"' + commandLine.left(end) + u'"' + commandLine.mid(end);
}

QString ScanCommandLine(const QString& toolkitFolder, const ScanOptions& o) {
    // The drive switch, then rows 4 to 24 of the command line in their fixed order.
    QString s = DriveSwitch(o.drives, o.driveText);
    const bool kinds = FileKindsOffered(o.exe);
    if (!o.exe)
        s += QStringLiteral(" /NOFILES");
    if (kinds && o.data)
        s += QStringLiteral(" /DOALLFILES");
    if (kinds && o.archives)
        s += QStringLiteral(" /U");
    s += kinds && o.compressed ? QStringLiteral(" /PACK") : QStringLiteral(" /NOPACK");
    if (!o.boot)
        s += QStringLiteral(" /NOBOOT");
    else if (!o.partition)
        s += QStringLiteral(" /NOPART");
    if (!o.memCheck)
        s += QStringLiteral(" /NM");
    if (HoldsFloppyDrive(o.driveText) && !o.floppies)
        s += QStringLiteral(" /ONEONLY");
    if (o.beep)
        s += QStringLiteral(" /BEEP");
    if (o.extErr)
        s += QStringLiteral(" /EXTERROR");
    if (o.programH && o.macroH)
        s += QStringLiteral(" /ANALYSE");
    else if (o.programH)
        s += QStringLiteral(" /PANALYSE");
    else if (o.macroH)
        s += QStringLiteral(" /MANALYSE");
    if (o.autoExit)
        s += QStringLiteral(" /AUTOEXIT");
    if (o.preventExit)
        s += QStringLiteral(" /NOEXIT");
    // Each name is one argument of the scanner, quoted when it holds a blank or a quote; the
    // starter never hands the line to a shell.
    s += ChooserSwitches(o.checkList, o.extraDrv);
    if (o.detail)
        s += QStringLiteral(" /LOUD");
    if (o.report)
        s += QStringLiteral(" /REPORT=FindViru.Rep");
    if (o.report && o.appendReport)
        s += QStringLiteral(" /APPEND");
    if (o.print)
        s += QStringLiteral(" /P");
    return toolkitFolder + ToolkitFile::FindVirus + s;
}

QString RepairSwitches(const RepairOptions& o) {
    QString s = DriveSwitch(o.drives, o.driveText);
    if (o.drives == DriveChoice::Listed)
        s += QStringLiteral(" /REPAIR");
    if (o.deleteFiles)
        s += QStringLiteral(" /DELETE");
    if (o.detail)
        s += QStringLiteral(" /LOUD");
    if (o.print)
        s += QStringLiteral(" /PRINTOUT");
    if (o.report)
        s += QStringLiteral(" /REPORT=Repair.Rep");
    if (o.report && o.appendReport)
        s += QStringLiteral(" /APPEND");
    if (o.preventExit)
        s += QStringLiteral(" /NOEXIT");
    if (o.autoExit)
        s += QStringLiteral(" /AUTOEXIT");
    if (o.extErr)
        s += QStringLiteral(" /EXTERROR");
    return s + ChooserSwitches(o.checkList, o.extraDrv);
}

QString RepairCommandLine(const QString& toolkitFolder, const RepairOptions& options) {
    return toolkitFolder + ToolkitFile::FindVirus + RepairSwitches(options);
}

QString CleanBootArguments(const CleanBootOptions& options) {
    const QString switches[] = {QStringLiteral("/1"), QStringLiteral("/2"), QStringLiteral("/3"),
                                QStringLiteral("/4"), QStringLiteral("/5"), QStringLiteral("/A")};
    return (options.driveB ? QStringLiteral(" b: ") : QStringLiteral(" a: ")) +
           switches[int(options.type)];
}

QString CleanBootCommandLine(const QString& toolkitFolder, const CleanBootOptions& options) {
    return toolkitFolder + ToolkitFile::Cleaner + CleanBootArguments(options);
}

QString AcceptedByteInterval(const QString& text) {
    if (text.isEmpty() || !ParseIntegerText(text) || text == QStringLiteral("0"))
        return {};
    return text;
}

QString ViVerifyCommandLine(const QString& toolkitFolder, CheckAction action, const CheckOptions& o,
                            const QString& fingerprintBase) {
    QString s;
    if (action == CheckAction::Compute)
        s += QStringLiteral(" /CREATE");
    if (!o.driveText.isEmpty())
        s += QStringLiteral(" /D=") + FormatDriveList(o.driveText);
    if (!o.boot)
        s += QStringLiteral(" /NOBOOT");
    if (!o.partition)
        s += QStringLiteral(" /NOPART");
    if (o.preventExit)
        s += QStringLiteral(" /NOCANCEL");
    if (!o.useKeyword)
        s += QStringLiteral(" /NOPSW");
    else if (o.keyword.size() >= MinKeywordLength)
        s += QStringLiteral(" /X=") + ArgumentText(o.keyword);
    s += QStringLiteral(" /FF=\"") + fingerprintBase + u'"';
    if (o.algorithm) {
        const QString options[] = {QStringLiteral(" /SIZES"), QStringLiteral(" /WHOLESUM"),
                                   QStringLiteral(" /CRC"), QStringLiteral(" /DES")};
        s += options[int(*o.algorithm)];
    }
    if (!o.turbo)
        s += QStringLiteral(" /NT");
    s += QStringLiteral(" /N=") + o.bytes;
    if (o.beep)
        s += QStringLiteral(" /BEEP");
    if (o.detail)
        s += QStringLiteral(" /LOUD");
    if (o.print)
        s += QStringLiteral(" /PRINTOUT");
    if (o.report)
        s += QStringLiteral(" /REPORT=Verify.Rep");
    return toolkitFolder + ToolkitFile::ViVerify + s;
}
