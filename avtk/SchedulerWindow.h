#pragma once

#include "sched/Desktop.h"
#include "sched/Tasks.h"

#include <QDateTime>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
class SettingsStore;

// The scheduler's window: the tasks with their schedule, next run and last result; Add, Change,
// Remove and Run now; and which of the desktop's schedulers runs them.
class SchedulerWindow : public QWidget {
public:
    SchedulerWindow(SettingsStore& store, Desktop::Kind kind, QString program, QString prefix,
                    QString toolkitFolder);

    // One task as a line of text (the command line's list).
    static QString TaskLine(const Tasks::Task& task, const QDateTime& now);
    // The next run as shown: a date and time, "at the next log-in", or why there is none.
    static QString NextRunText(const Tasks::Task& task, const QDateTime& now);

    QTreeWidget* taskList() const { return list; }

private:
    void refresh();
    void edit(const QString& replacing);
    void remove();
    void runNow();
    QString selectedName() const;
    void showError(const QString& error);

    SettingsStore& store;
    Desktop::Kind kind;
    QString program, prefix, toolkitFolder;
    QTreeWidget* list;
    QLabel* status;
    QPushButton *change, *removeButton, *run;
};
