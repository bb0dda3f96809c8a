#include "ReportViewer.h"

#include "definitions/MainState.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"

#include "ui_GuardSheet.h"
#include "ui_ViewSheet.h"

#include <QCoreApplication>
#include <QPlainTextEdit>

namespace {

// The texts this unit shows the user, translatable in the context "ReportViewer".
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(ReportViewer)
};

const QString ScanReport = "FindViru.Rep";
const QString RepairReport = "Repair.Rep";
const QString VerifyReport = "Verify.Rep";

// The guard log as a path of this system: the guard page may hold one with a drive letter.
QString GuardLogPath(MainState& form) {
    const QString text = form.Guard.EditLog->text();
    return text.isEmpty() ? text : Drives::NativePath(form.prefixFolder(), text);
}

// A document block per line would make a report of a million lines a million blocks, and
// building those is what takes seconds. Runs of lines therefore share one block, separated by
// soft line breaks (U+2028): the view shows the same lines (it never wraps), and copying from
// it gives ordinary line breaks. A block stays small, as only the blocks in sight are laid out.
constexpr int LinesPerBlock = 64;
constexpr qsizetype CharsPerBlock = 8192;

QString GroupLines(const QString& text) {
    const qsizetype n = text.size();
    const QChar* in = text.constData();
    QString grouped(n, Qt::Uninitialized);
    QChar* out = grouped.data();
    qsizetype length = 0;
    qsizetype blockStart = 0;
    int lines = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = in[i];
        if (c == QChar::ParagraphSeparator) {
            out[length++] = c;
            blockStart = length;
            lines = 0;
            continue;
        }
        if (c != u'\n' && c != u'\r') {
            out[length++] = c;
            continue;
        }
        // CR LF, a lone CR and a lone LF each end a line, as the document counts them.
        if (c == u'\r' && i + 1 < n && in[i + 1] == u'\n')
            ++i;
        if (++lines < LinesPerBlock && length - blockStart < CharsPerBlock) {
            out[length++] = QChar::LineSeparator;
        } else {
            out[length++] = u'\n';
            blockStart = length;
            lines = 0;
        }
    }
    grouped.truncate(length);
    return grouped;
}

} // namespace

void RefreshReportButtons(MainState& form) {
    const auto present = [&](const QString& name) {
        return FileSystem::FileExists(form.ProgramFolder + name);
    };
    form.View.btnFVrep->setEnabled(present(ScanReport));
    form.View.BtnRepairRep->setEnabled(present(RepairReport));
    form.View.btnViRep->setEnabled(present(VerifyReport));
    const QString log = GuardLogPath(form);
    form.View.btnGuardLog->setEnabled(!log.isEmpty() && FileSystem::FileExists(log));
}

void LoadFileIntoView(QPlainTextEdit* view, const QString& path) {
    // One text handed over in one call (no per-line appends); the view lays out lazily only
    // the blocks in sight.
    view->setPlainText(GroupLines(FileSystem::DecodeText(FileSystem::ReadWholeFile(path))));
}

void ShowReport(MainState& form, QAbstractButton* button, const QString& fileName) {
    // The label changes first, also when the file then cannot be opened.
    form.View.LabViewName->setText(Texts::tr("%1 report:").arg(button->text()));
    LoadFileIntoView(form.View.ViewWin, form.ProgramFolder + fileName);
}

void btnFVrepClick(MainState& form) {
    ShowReport(form, form.View.btnFVrep, ScanReport);
}

void BtnRepairRepClick(MainState& form) {
    ShowReport(form, form.View.BtnRepairRep, RepairReport);
}

void btnViRepClick(MainState& form) {
    ShowReport(form, form.View.btnViRep, VerifyReport);
}

void btnGuardLogClick(MainState& form) {
    const QString log = GuardLogPath(form);
    if (log.isEmpty() || !FileSystem::FileExists(log))
        return;
    LoadFileIntoView(form.View.ViewWin, log);
    form.View.LabViewName->setText(Texts::tr("%1 (WinGuard log file):")
                                       .arg(FileSystem::FileNamePart(form.Guard.EditLog->text())));
}

void ConnectViewPage(MainState& form) {
    // A read-only view needs no undo history; keeping one would double a large report's memory.
    form.View.ViewWin->setUndoRedoEnabled(false);
    // Both scroll bars always show, overflowing or not, so the view's text area never changes size.
    form.View.ViewWin->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    form.View.ViewWin->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    form.onClick(form.View.btnFVrep, btnFVrepClick);
    form.onClick(form.View.BtnRepairRep, BtnRepairRepClick);
    form.onClick(form.View.btnViRep, btnViRepClick);
    form.onClick(form.View.btnGuardLog, btnGuardLogClick);
}
