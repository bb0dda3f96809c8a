#include "engine/ServiceProtocol.h"

#include "engine/SystemError.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace avtk::service {

namespace {

// Where the package installs the toolkit, as the build was configured.
constexpr const char* InstalledToolkitFolder = AVTK_INSTALLED_TOOLKIT;

// A scan request names a path, an answer a virus and members: a packet larger than this is no
// message of ours.
constexpr size_t MaxMessage = 64 * 1024;
constexpr quint32 Version = 2;

// The folder made when missing, then checked: a directory (not a link) of this user, closed to
// everyone else.
bool PrivateFolder(const QByteArray& path, QString& why) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        why = QString("%1 cannot be made: %2").arg(QFile::decodeName(path), ErrnoText(errno));
        return false;
    }
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        why = QString("%1: %2").arg(QFile::decodeName(path), ErrnoText(errno));
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        why = QString("%1 is not a private folder of this user").arg(QFile::decodeName(path));
        return false;
    }
    return true;
}

QByteArray Message(Kind kind, const std::function<void(QDataStream&)>& write) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quint8(kind) << Version;
    write(out);
    return bytes;
}

// Reads a message of the kind; nothing when it is another kind, another version or cut short.
template <typename T>
std::optional<T> Read(const QByteArray& bytes, Kind kind,
                      const std::function<void(QDataStream&, T&)>& read) {
    QDataStream in(bytes);
    quint8 got = 0;
    quint32 version = 0;
    in >> got >> version;
    if (in.status() != QDataStream::Ok || got != quint8(kind) || version != Version)
        return std::nullopt;
    T value;
    read(in, value);
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return value;
}

quint8 OptionBits(const ScanOptions& o) {
    return quint8(o.archives) | quint8(o.unpack) << 1 | quint8(o.programHeuristics) << 2 |
           quint8(o.macroHeuristics) << 3 | quint8(o.background) << 4;
}

ScanOptions FromBits(quint8 bits) {
    ScanOptions o;
    o.archives = bits & 1;
    o.unpack = bits & 2;
    o.programHeuristics = bits & 4;
    o.macroHeuristics = bits & 8;
    o.background = bits & 16;
    return o;
}

} // namespace

QString SocketFolder(QString& why) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st;
    // The runtime folder is the user's own by the login manager's word; checked all the same.
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid()) {
        const QByteArray folder = runtime + "/vallorin";
        return PrivateFolder(folder, why) ? QFile::decodeName(folder) : QString();
    }
    const QByteArray folder = "/tmp/vallorin-" + QByteArray::number(::getuid());
    return PrivateFolder(folder, why) ? QFile::decodeName(folder) : QString();
}

std::optional<Endpoint> EndpointFor(const QString& toolkitFolder, QString& why) {
    const QString folder = SocketFolder(why);
    if (folder.isEmpty())
        return std::nullopt;
    const QString canonical = QFileInfo(toolkitFolder).canonicalFilePath();
    const QByteArray key =
        QFile::encodeName(canonical) + '\0' + QFile::encodeName(SystemDatabaseFolder());
    // The installed toolkit on the system's database has a name of its own, so that the user
    // manager's socket unit can listen for it before the service runs.
    const bool installed = canonical == QString::fromUtf8(InstalledToolkitFolder) &&
                           qEnvironmentVariableIsEmpty("AVTK_CLAMAV_DATABASE");
    const QString name =
        installed
            ? QString("engine")
            : "engine-" +
                  QString::fromLatin1(
                      QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    Endpoint endpoint{folder + '/' + name + ".sock", folder + '/' + name + ".lock"};
    if (size_t(QFile::encodeName(endpoint.socket).size()) >= sizeof(sockaddr_un::sun_path)) {
        why = endpoint.socket + " is too long a path for a socket";
        return std::nullopt;
    }
    return endpoint;
}

QByteArray Encode(const Hello& hello) {
    return Message(Kind::Hello, [&](QDataStream& out) { out << quint64(hello.generation); });
}

QByteArray Encode(const Welcome& w) {
    return Message(Kind::Hello, [&](QDataStream& out) {
        out << w.ready << w.problem << quint64(w.generation) << quint32(w.loaded.signatures)
            << qint32(w.loaded.files) << w.loaded.systemDatabase << w.failures << w.pid;
    });
}

QByteArray Encode(const ScanRequest& request) {
    return Message(Kind::Scan,
                   [&](QDataStream& out) { out << OptionBits(request.options) << request.names; });
}

QList<QByteArray> EncodeAnswers(std::span<const ScanResult> results) {
    // Each answer on its own, then as many together as one packet holds (the count first).
    const QByteArray head = Message(Kind::Scan, [](QDataStream& out) { out << quint32(0); });
    QList<QByteArray> packets;
    QByteArray packet = head;
    quint32 count = 0;
    const auto seal = [&] {
        const quint32 big = qToBigEndian(count);
        std::memcpy(packet.data() + head.size() - 4, &big, sizeof big);
        packets << std::exchange(packet, head);
        count = 0;
    };
    for (const ScanResult& r : results) {
        QByteArray one;
        QDataStream out(&one, QIODevice::WriteOnly);
        out << quint8(r.kind) << r.finding.virus << r.finding.members << r.problem << r.oversized;
        if (count > 0 && size_t(packet.size() + one.size()) > MaxMessage)
            seal();
        packet += one;
        ++count;
    }
    if (count > 0)
        seal();
    return packets;
}

QByteArray EncodeStop() {
    return Message(Kind::Stop, [](QDataStream&) {});
}

std::optional<Kind> KindOf(const QByteArray& message) {
    if (message.isEmpty())
        return std::nullopt;
    const auto kind = Kind(quint8(message[0]));
    if (kind != Kind::Hello && kind != Kind::Scan && kind != Kind::Stop)
        return std::nullopt;
    return kind;
}

std::optional<Hello> DecodeHello(const QByteArray& message) {
    return Read<Hello>(message, Kind::Hello, [](QDataStream& in, Hello& h) {
        quint64 generation = 0;
        in >> generation;
        h.generation = generation;
    });
}

std::optional<Welcome> DecodeWelcome(const QByteArray& message) {
    return Read<Welcome>(message, Kind::Hello, [](QDataStream& in, Welcome& w) {
        quint64 generation = 0;
        quint32 signatures = 0;
        qint32 files = 0;
        in >> w.ready >> w.problem >> generation >> signatures >> files >>
            w.loaded.systemDatabase >> w.failures >> w.pid;
        w.generation = generation;
        w.loaded.signatures = signatures;
        w.loaded.files = files;
    });
}

std::optional<ScanRequest> DecodeScanRequest(const QByteArray& message) {
    return Read<ScanRequest>(message, Kind::Scan, [](QDataStream& in, ScanRequest& r) {
        quint8 bits = 0;
        in >> bits >> r.names;
        r.options = FromBits(bits);
    });
}

std::optional<std::vector<ScanResult>> DecodeAnswers(const QByteArray& message) {
    auto results = Read<std::vector<ScanResult>>(
        message, Kind::Scan, [](QDataStream& in, std::vector<ScanResult>& all) {
            quint32 count = 0;
            in >> count;
            for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
                ScanResult r;
                quint8 kind = 0;
                in >> kind >> r.finding.virus >> r.finding.members >> r.problem >> r.oversized;
                if (kind > ScanResult::Failed)
                    in.setStatus(QDataStream::ReadCorruptData);
                r.kind = ScanResult::Kind(kind);
                all.push_back(std::move(r));
            }
        });
    if (results && results->empty())
        return std::nullopt;
    return results;
}

bool Send(int socket, const QByteArray& message, std::span<const int> fds) {
    if (fds.size() > MaxBatch)
        return false;
    iovec data{const_cast<char*>(message.constData()), size_t(message.size())};
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MaxBatch)] = {};
    if (!fds.empty()) {
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr* rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(rights), fds.data(), sizeof(int) * fds.size());
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &header, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        return sent == message.size();
    }
}

std::optional<QByteArray> Receive(int socket, std::vector<int>* fds,
                                  std::chrono::microseconds watch) {
    if (fds)
        fds->clear();
    QByteArray bytes(MaxMessage, Qt::Uninitialized);
    iovec data{bytes.data(), size_t(bytes.size())};
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MaxBatch)] = {};
    header.msg_control = control;
    header.msg_controllen = sizeof(control);
    const auto take = [&](int flags) {
        ssize_t got;
        do
            got = ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC | flags);
        while (got < 0 && errno == EINTR);
        return got;
    };
    // A thread that sleeps for an answer due in a moment wakes up late on an idle processor
    // (tens of microseconds on a virtual machine): a short wait is watched for instead.
    ssize_t got = -1;
    const auto until = std::chrono::steady_clock::now() + watch;
    for (bool watching = watch.count() > 0; watching;) {
        got = take(MSG_DONTWAIT);
        watching = got < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < until;
        if (watching)
            ::sched_yield();
    }
    if (watch.count() <= 0 || (got < 0 && errno == EAGAIN))
        got = take(0);
    // Every descriptor that came is taken, so that none leaks.
    std::vector<int> received;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int one;
            std::memcpy(&one, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            received.push_back(one);
        }
    }
    const bool whole = got > 0 && !(header.msg_flags & (MSG_TRUNC | MSG_CTRUNC));
    if (!whole || !fds) {
        for (int one : received)
            ::close(one);
        if (!whole)
            return std::nullopt;
    } else {
        *fds = std::move(received);
    }
    bytes.truncate(got);
    return bytes;
}

int Connect(const QString& socketPath, QString& why) {
    const int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (s < 0) {
        why = ErrnoText(errno);
        return -1;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath);
    std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        why = ErrnoText(errno);
        ::close(s);
        return -1;
    }
    return s;
}

} // namespace avtk::service
