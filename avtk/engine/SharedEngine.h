#pragma once

#include "engine/Engine.h"
#include "engine/Scanner.h"
#include "engine/ServiceProtocol.h"
#include "engine/Signatures.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace avtk {

// A program's connections to the toolkit's engine service, one a scanning thread at a time, all
// on the engine the first one was welcomed with.
class ServiceClient {
public:
    // Connects, starting the service beside the toolkit's programs when none answers, and waits
    // for its engine. Nothing, with the reason, when the service cannot be had.
    static std::unique_ptr<ServiceClient> Open(const QString& toolkitFolder, QString& why,
                                               bool start = true);
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    const service::Welcome& welcome() const { return hello; }
    // The service's answers, one a file in their order; nothing once the service is gone (it
    // ended or stopped answering).
    std::optional<std::vector<ScanResult>> scan(std::span<const BatchFile> files,
                                                const ScanOptions& options) const;
    std::optional<ScanResult> scan(int fd, const std::string& name,
                                   const ScanOptions& options) const;
    // Asks the service to end; false when no service answered.
    static bool Stop(const QString& toolkitFolder, QString& why);

private:
    ServiceClient(service::Endpoint endpoint, int connection, service::Welcome hello);
    int take(bool background) const;
    void give(int connection, bool background) const;

    service::Endpoint endpoint;
    service::Welcome hello;
    mutable std::mutex mutex;
    // The idle connections by the priority the service last scanned at on them (normal,
    // background): its thread keeps that priority while it waits for the next request, and one
    // left at the background priority is woken only when no other program wants the processor.
    mutable std::vector<int> idle[2];
    mutable std::atomic<bool> gone = false;
};

// What a program scans with, and what it tells of the signatures.
struct ObtainedScanner {
    std::unique_ptr<Scanner> scanner; // none when no signatures could be used
    LoadSummary loaded;
    bool shared = false;   // the toolkit's shared engine
    qint64 servicePid = 0; // its process
    QString compileError;  // when signatures loaded but could not be prepared
};

// The toolkit's shared engine when the service can be had (the extra driver, if any, in a small
// engine of the program's own beside it), otherwise an engine of the program's own as loaded by
// LoadSignatures; `note` then says so in one line. AVTK_ENGINE=own in the environment skips the
// service. Each signature file that fails goes to `failed`. Should the service end during the
// scan, the scanner goes over to an engine of its own and tells it through takeNotes().
ObtainedScanner ObtainScanner(const QString& toolkitFolder, const QString& driverPath,
                              const std::function<void(const QString&)>& failed,
                              const std::function<void(const QString&)>& note);

} // namespace avtk
