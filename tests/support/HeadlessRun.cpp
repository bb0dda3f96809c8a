#include "HeadlessRun.h"

#include <QProcess>

#include <gtest/gtest.h>

void StartHeadless(QProcess& process, const QString& program, const QStringList& arguments,
                   const QString& folder, const QStringList& environment) {
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    for (const QString& setting : environment)
        env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
}

HeadlessRun RunHeadless(const QString& program, const QStringList& arguments, const QString& folder,
                        const QStringList& environment, const QByteArray& input) {
    QProcess process;
    StartHeadless(process, program, arguments, folder, environment);
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(120000)) << program.toStdString();
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}
