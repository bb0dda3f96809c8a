#include "SchedulerWindow.h"

#include "sched/Manage.h"
#include "sched/TaskRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimeZone>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QStringList KindCaptions = {"At log-in", "Hourly", "Daily", "Weekly", "Monthly"};

// The Add and Change dialog; gives the task, or nothing when cancelled.
std::optional<Tasks::Task> AskTask(QWidget* parent, SettingsStore& store,
                                   const std::optional<Tasks::Task>& current) {
    QDialog dialog(parent);
    dialog.setWindowTitle(current ? "Change task" : "Add task");
    auto* form = new QFormLayout(&dialog);
    auto* name = new QLineEdit(current ? current->name : QString());
    auto* definition = new QComboBox;
    for (const Tasks::Runs runs : {Tasks::Runs::Scan, Tasks::Runs::Check})
        for (const QString& entry : Manage::Definitions(store, runs))
            definition->addItem(Tasks::RunsText(runs) + ": " + entry,
                                QStringList{Tasks::RunsText(runs), entry});
    auto* when = new QComboBox;
    when->addItems(KindCaptions);
    auto* time = new QTimeEdit;
    time->setDisplayFormat("HH:mm");
    auto* minute = new QSpinBox;
    minute->setRange(0, 59);
    auto* days = new QWidget;
    auto* daysLayout = new QHBoxLayout(days);
    daysLayout->setContentsMargins(0, 0, 0, 0);
    QList<QCheckBox*> dayBoxes;
    for (const char* day : {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}) {
        dayBoxes << new QCheckBox(day);
        daysLayout->addWidget(dayBoxes.last());
    }
    auto* day = new QSpinBox;
    day->setRange(1, 31);
    form->addRow("&Name:", name);
    form->addRow("&Runs:", definition);
    form->addRow("&When:", when);
    form->addRow("&Time:", time);
    form->addRow("&Minute of the hour:", minute);
    form->addRow("Days of the week:", days);
    form->addRow("&Day of the month:", day);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // Only the fields the kind of schedule uses are offered.
    const auto offer = [=](int kind) {
        const auto k = Schedule::Kind(kind);
        form->setRowVisible(time, k == Schedule::Kind::Daily || k == Schedule::Kind::Weekly ||
                                      k == Schedule::Kind::Monthly);
        form->setRowVisible(minute, k == Schedule::Kind::Hourly);
        form->setRowVisible(days, k == Schedule::Kind::Weekly);
        form->setRowVisible(day, k == Schedule::Kind::Monthly);
    };
    QObject::connect(when, &QComboBox::currentIndexChanged, &dialog, offer);
    Schedule::When initial;
    initial.time = QTime(2, 0);
    if (current) {
        initial = current->when;
        definition->setCurrentIndex(
            definition->findData(QStringList{Tasks::RunsText(current->runs), current->definition}));
    }
    when->setCurrentIndex(int(initial.kind));
    time->setTime(initial.time);
    minute->setValue(initial.time.minute());
    for (int d : initial.weekdays)
        dayBoxes[d - 1]->setChecked(true);
    day->setValue(initial.day);
    offer(when->currentIndex());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    Tasks::Task task;
    task.name = name->text().trimmed();
    const QStringList chosen = definition->currentData().toStringList();
    task.runs = chosen.value(0) == u"Check" ? Tasks::Runs::Check : Tasks::Runs::Scan;
    task.definition = chosen.value(1);
    task.when.kind = Schedule::Kind(when->currentIndex());
    task.when.time =
        task.when.kind == Schedule::Kind::Hourly ? QTime(0, minute->value()) : time->time();
    for (int d = 0; d < 7; ++d)
        if (dayBoxes[d]->isChecked())
            task.when.weekdays << d + 1;
    if (task.when.kind == Schedule::Kind::Weekly && task.when.weekdays.isEmpty())
        task.when.weekdays << 1; // a weekly task without a day would never run
    task.when.day = day->value();
    return task;
}

} // namespace

SchedulerWindow::SchedulerWindow(SettingsStore& store, Desktop::Kind kind, QString program,
                                 QString prefix, QString toolkitFolder)
    : store(store), kind(kind), program(std::move(program)), prefix(std::move(prefix)),
      toolkitFolder(std::move(toolkitFolder)) {
    setWindowTitle("Scheduler");
    resize(1000, 380);
    auto* layout = new QVBoxLayout(this);
    auto* where = new QLabel(Desktop::Explanation(kind));
    where->setWordWrap(true);
    layout->addWidget(where);
    list = new QTreeWidget;
    list->setHeaderLabels({"Task", "Runs", "When", "Next run", "Last result"});
    list->setRootIsDecorated(false);
    list->header()->setStretchLastSection(true);
    layout->addWidget(list);
    status = new QLabel;
    status->setWordWrap(true);
    layout->addWidget(status);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton("&Add...");
    change = new QPushButton("&Change...");
    removeButton = new QPushButton("&Remove");
    run = new QPushButton("Run &now");
    auto* close = new QPushButton("Close");
    for (QPushButton* button : {add, change, removeButton, run})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] { edit({}); });
    connect(change, &QPushButton::clicked, this, [this] { edit(selectedName()); });
    connect(removeButton, &QPushButton::clicked, this, [this] { remove(); });
    connect(run, &QPushButton::clicked, this, [this] { runNow(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(list, &QTreeWidget::itemSelectionChanged, this, [this] {
        const bool any = !selectedName().isEmpty();
        for (QPushButton* button : {change, removeButton, run})
            button->setEnabled(any);
    });
    refresh();
}

QString SchedulerWindow::NextRunText(const Tasks::Task& task, const QDateTime& now) {
    if (task.when.kind == Schedule::Kind::Logon)
        return "at the next log-in";
    const std::optional<QDateTime> next =
        Schedule::NextRun(task.when, now, QTimeZone::systemTimeZone());
    return next ? next->toString("yyyy-MM-dd HH:mm") : QString("none");
}

QString SchedulerWindow::TaskLine(const Tasks::Task& task, const QDateTime& now) {
    return QString("%1: %2 \"%3\", %4; next run %5; last run %6")
        .arg(task.name, Tasks::RunsText(task.runs), task.definition,
             Schedule::Description(task.when), NextRunText(task, now),
             task.lastRun.isEmpty() ? QString("never") : task.lastRun + ", " + task.lastResult);
}

void SchedulerWindow::refresh() {
    const QString selected = selectedName();
    list->clear();
    const QDateTime now = QDateTime::currentDateTime();
    for (const Tasks::Task& task : Tasks::Load(store)) {
        auto* item = new QTreeWidgetItem(
            list,
            {task.name, Tasks::RunsText(task.runs) + ": " + task.definition,
             Schedule::Description(task.when), NextRunText(task, now),
             task.lastRun.isEmpty() ? QString("never run") : task.lastRun + " " + task.lastResult});
        if (task.name == selected)
            list->setCurrentItem(item);
    }
    for (int column = 0; column < 4; ++column)
        list->resizeColumnToContents(column);
    const bool any = !selectedName().isEmpty();
    for (QPushButton* button : {change, removeButton, run})
        button->setEnabled(any);
}

QString SchedulerWindow::selectedName() const {
    const QTreeWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->text(0) : QString();
}

void SchedulerWindow::showError(const QString& error) {
    QMessageBox::warning(this, windowTitle(), error);
}

void SchedulerWindow::edit(const QString& replacing) {
    const std::optional<Tasks::Task> current =
        replacing.isEmpty() ? std::nullopt : Tasks::Find(store, replacing);
    const std::optional<Tasks::Task> task = AskTask(this, store, current);
    if (!task)
        return;
    const QString error = Manage::Put(store, *task, replacing, kind, program, prefix);
    if (!error.isEmpty())
        showError(error);
    else
        status->setText(
            QString("Task \"%1\" scheduled with %2.").arg(task->name, Desktop::KindText(kind)));
    refresh();
}

void SchedulerWindow::remove() {
    const QString name = selectedName();
    if (name.isEmpty() ||
        QMessageBox::question(this, windowTitle(), QString("Remove the task \"%1\"?").arg(name)) !=
            QMessageBox::Yes)
        return;
    const QString error = Manage::Take(store, name, program, prefix);
    if (!error.isEmpty())
        showError(error);
    else
        status->setText(QString("Task \"%1\" removed.").arg(name));
    refresh();
}

void SchedulerWindow::runNow() {
    const QString name = selectedName();
    if (name.isEmpty())
        return;
    // The run is the scheduler's own /RUN, as the timer starts it, so the window stays live.
    auto* process = new QProcess(this);
    process->setWorkingDirectory(prefix);
    connect(process, &QProcess::finished, this, [this, process, name](int exitCode) {
        status->setText(exitCode == TaskRun::AlreadyRunningExitCode
                            ? TaskRun::AlreadyRunningText(name)
                            : QString("Task \"%1\" ran.").arg(name));
        process->deleteLater();
        refresh();
    });
    status->setText(QString("Task \"%1\" is running...").arg(name));
    process->start(program, {"/RUN=" + name});
}
