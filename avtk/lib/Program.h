#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class Report;
class Session;

// What every toolkit program does alike: its own folder, its report's head, and refusing a run.
namespace Program {

// Exit code of a refused command line (an unknown switch, a missing file it names).
constexpr int RefusedExitCode = 8;

// The toolkit folder: where the program itself lies, with the checklists and drivers.
QString ToolkitFolder();
// A file of the toolkit folder by name, without regard to case; empty when there is none.
QString ToolkitFile(const QString& name);

// Reads a file whole when it is at most `limit` bytes; an error sentence otherwise.
std::optional<QByteArray> ReadFile(const QString& path, qint64 limit, QString& error);

// The report's first lines: the program, the time, the arguments.
void BeginReport(Report& report, const QString& program, const QString& arguments);

// Tells why the run is refused, in the window or on standard output and in the report, writes the
// report and returns the refused exit code once the user has seen it.
int Refuse(Session& session, Report& report, const QStringList& errors, bool autoExit);

// Writes the report, telling the user when that fails; returns the exit code to end with.
int WriteReport(Session& session, const Report& report, int exitCode);

} // namespace Program
