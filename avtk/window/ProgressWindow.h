#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// The window of a toolkit program at work: what it was asked, a progress bar (done of counted),
// the current item, the findings (file, virus, action), a log, the elapsed time and a Stop button
// that becomes Close when the work is done.
class ProgressWindow : public QWidget {
    Q_OBJECT
public:
    explicit ProgressWindow(const QString& title, QWidget* parent = nullptr);

    void setRequest(const QString& text);
    void addLine(const QString& text);
    void setCurrent(const QString& item);
    // Files done of files counted so far; a total of 0 while counting shows a busy bar.
    void setProgress(qint64 done, qint64 total);
    // Returns the finding's row, for setFindingAction once the action is done.
    int addFinding(const QString& file, const QString& virus, const QString& action);
    void setFindingAction(int row, const QString& action);
    // While set, the user can neither stop the work nor close the window.
    void setPreventExit(bool prevent);
    // The work is over: shows the result, and the button closes the window.
    void setDone(const QString& result);

    bool stopRequested() const { return stopAsked; }
    bool isDone() const { return done; }
    // The elapsed time as shown, for the summary.
    QString elapsedText() const;

    QProgressBar* progressBar() const { return bar; }
    QTreeWidget* findingsList() const { return findings; }
    QPushButton* stopButton() const { return button; }
    QLabel* currentLabel() const { return current; }
    QPlainTextEdit* logView() const { return log; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QLabel* request;
    QProgressBar* bar;
    QLabel* current;
    QTreeWidget* findings;
    QPlainTextEdit* log;
    QLabel* elapsed;
    QPushButton* button;
    QElapsedTimer clock;
    bool preventExit = false;
    bool stopAsked = false;
    bool done = false;
};
