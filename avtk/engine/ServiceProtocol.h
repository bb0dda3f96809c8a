#pragma once

#include "engine/Scanner.h"
#include "engine/Signatures.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The toolkit's engine service and its programs speak over a Unix socket of sequenced packets:
// one message a packet, the open descriptors of a batch of files riding with a scan request (the
// service never opens a path for a program), the answers in as few packets as they fit in.
namespace avtk::service {

// The service's file name, beside the other programs of the toolkit.
inline constexpr const char* ProgramName = "AVEngine.exe";

// The user's private folder of the socket: $XDG_RUNTIME_DIR/vallorin, otherwise /tmp/vallorin-UID;
// made mode 0700 when missing. Empty, with the reason, when it is not a folder of the user's own
// that nobody else may enter (or a symbolic link).
QString SocketFolder(QString& why);

// The socket and its start lock, one pair per toolkit folder and system database, so that two
// installs (or a test's toolkit) never share an engine of other signatures. The toolkit the
// package installs, on the system's database, has engine.sock, where the user manager's socket
// unit (vallorin-engine.socket) listens; any other engine-<key>.sock.
struct Endpoint {
    QString socket, lock;
};
std::optional<Endpoint> EndpointFor(const QString& toolkitFolder, QString& why);

enum class Kind : uint8_t { Hello = 1, Scan = 2, Stop = 3 };

// A program's first message on a connection: the engine it began with, so that every connection
// of one program scans with the same signatures while the service reloads (0: the current one).
struct Hello {
    uint64_t generation = 0;
};

// The service's answer: the engine's load as the program would have told it.
struct Welcome {
    bool ready = false;
    QString problem; // when not ready
    uint64_t generation = 0;
    LoadSummary loaded;
    QStringList failures; // the lines of the files that did not load
    qint64 pid = 0;
};

// The most files a scan request holds, and the most bytes of their names together: a request is
// one packet, with room to spare.
inline constexpr std::size_t MaxBatch = 32;
inline constexpr qsizetype MaxNamesBytes = 32 * 1024;

// Files to scan, their descriptors in the packet in the same order as their names.
struct ScanRequest {
    ScanOptions options;
    QList<QByteArray> names;
};

QByteArray Encode(const Hello& hello);
QByteArray Encode(const Welcome& welcome);
QByteArray Encode(const ScanRequest& request);
// The answers to a request, in as few packets as they fit in, in their order.
QList<QByteArray> EncodeAnswers(std::span<const ScanResult> results);
QByteArray EncodeStop();

std::optional<Kind> KindOf(const QByteArray& message);
std::optional<Hello> DecodeHello(const QByteArray& message);
std::optional<Welcome> DecodeWelcome(const QByteArray& message);
std::optional<ScanRequest> DecodeScanRequest(const QByteArray& message);
// The answers one packet holds; nothing when it is no packet of answers.
std::optional<std::vector<ScanResult>> DecodeAnswers(const QByteArray& message);

// One packet with the descriptors (at most MaxBatch); false when the peer is gone.
bool Send(int socket, const QByteArray& message, std::span<const int> fds = {});
// The next packet and the descriptors that came with it, which the caller closes (with no
// `fds`, any that came are closed); nothing when the peer is gone or the packet is not whole.
// For up to `watch` the socket is looked at without sleeping (the processor given to any other
// thread that wants it), then slept on.
std::optional<QByteArray> Receive(int socket, std::vector<int>* fds = nullptr,
                                  std::chrono::microseconds watch = {});

// A connected socket to the endpoint, or -1 with the reason.
int Connect(const QString& socket, QString& why);

} // namespace avtk::service
