#pragma once

#include "platform/Help.h"
#include "platform/ProgramStart.h"

#include <QList>
#include <QStringList>

// A program starter that records each command line and answers with a set result.
class RecordingStarter : public ProgramStarter {
public:
    QStringList commandLines;
    int result = 33;
    int start(const QString& commandLine) override {
        commandLines << commandLine;
        return result;
    }
};

// A help service that records each request.
class RecordingHelp : public HelpService {
public:
    struct Request {
        QString file;
        int command;
        int context;
    };
    QList<Request> requests;
    void showHelp(const QString& file, int command, int context) override {
        requests.append({file, command, context});
    }
};
