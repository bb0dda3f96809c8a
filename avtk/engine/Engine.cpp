#include "engine/Engine.h"

#include "engine/FileKinds.h"
#include "engine/MappedFile.h"
#include "engine/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <clamav.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace avtk {

namespace {

// What one scan learns through the engine's callbacks: the name of each layer it opened, so
// that a finding inside an archive names the member.
struct Layers {
    std::vector<QString> names;
    Finding finding;
    bool found = false;
};

cl_error_t Inspect(int, const char*, const char**, size_t, const char* fileName, size_t,
                   const char*, uint32_t level, uint32_t attributes, void* context) {
    auto* layers = static_cast<Layers*>(context);
    if (!layers)
        return CL_CLEAN;
    layers->names.resize(level + 1);
    // A normalised layer (text made generic for matching) is the same file, not a member.
    if (fileName && !(attributes & LAYER_ATTRIBUTES_NORMALIZED))
        layers->names[level] = QString::fromUtf8(fileName);
    return CL_CLEAN;
}

// Signatures from databases without a signature of ClamAV's own get ".UNOFFICIAL" appended;
// the name is the signature's as written.
QString VirusName(const char* virus) {
    QString name = QString::fromUtf8(virus ? virus : "");
    if (name.endsWith(".UNOFFICIAL"))
        name.chop(11);
    return name;
}

void Found(int, const char* virus, void* context) {
    auto* layers = static_cast<Layers*>(context);
    if (!layers || layers->found)
        return;
    layers->found = true;
    layers->finding.virus = VirusName(virus);
    for (size_t level = 1; level < layers->names.size(); ++level)
        if (!layers->names[level].isEmpty())
            layers->finding.members << layers->names[level];
}

void Quiet(enum cl_msg, const char*, const char*, void*) {}

void InitialiseLibrary() {
    // The library is initialised once per process, whichever engine comes first.
    static std::once_flag once;
    std::call_once(once, [] {
        cl_init(CL_INIT_DEFAULT);
        // The engine's own messages would go to standard error; failures reach us as results.
        cl_set_clcb_msg(Quiet);
    });
}

cl_scan_options Translate(const ScanOptions& options) {
    cl_scan_options o{};
    o.parse = CL_SCAN_PARSE_OLE2 | CL_SCAN_PARSE_XMLDOCS | CL_SCAN_PARSE_HTML | CL_SCAN_PARSE_PDF |
              CL_SCAN_PARSE_MAIL | CL_SCAN_PARSE_HWP3 | CL_SCAN_PARSE_SWF | CL_SCAN_PARSE_ONENOTE;
    if (options.archives)
        o.parse |= CL_SCAN_PARSE_ARCHIVE;
    if (options.unpack)
        o.parse |= CL_SCAN_PARSE_PE | CL_SCAN_PARSE_ELF;
    if (options.programHeuristics || options.macroHeuristics)
        o.general |= CL_SCAN_GENERAL_HEURISTICS;
    if (options.programHeuristics)
        o.heuristic |= CL_SCAN_HEURISTIC_BROKEN | CL_SCAN_HEURISTIC_ENCRYPTED_ARCHIVE |
                       CL_SCAN_HEURISTIC_ENCRYPTED_DOC | CL_SCAN_HEURISTIC_BROKEN_MEDIA;
    if (options.macroHeuristics)
        o.heuristic |= CL_SCAN_HEURISTIC_MACROS;
    return o;
}

ScanResult Outcome(cl_error_t status, const char* virus, Layers& layers) {
    ScanResult result;
    if (status == CL_VIRUS) {
        result.kind = ScanResult::Infected;
        result.finding = layers.found ? layers.finding : Finding{VirusName(virus), {}};
    } else if (status != CL_CLEAN && status != CL_SUCCESS && status != CL_BREAK) {
        result.kind = ScanResult::Failed;
        result.problem = QString::fromUtf8(cl_strerror(status));
    }
    return result;
}

ScanResult Failure(const QString& problem) {
    ScanResult failed;
    failed.kind = ScanResult::Failed;
    failed.problem = problem;
    return failed;
}

} // namespace

void Engine::Free::operator()(cl_engine* e) const {
    cl_engine_free(e);
}

Engine::Engine() {
    InitialiseLibrary();
    engine.reset(cl_engine_new());
}

Engine::~Engine() = default;

QString Engine::load(const std::string& path) {
    if (!engine)
        return "the engine could not be created";
    if (compiled)
        return "the engine is compiled already";
    const cl_error_t status = cl_load(path.c_str(), engine.get(), &count, CL_DB_STDOPT);
    if (status == CL_SUCCESS) {
        loaded.push_back(path);
        return {};
    }
    // A file that fails half-way leaves part of its signatures behind.
    rebuild();
    return QString::fromUtf8(cl_strerror(status));
}

void Engine::rebuild() {
    // A file that loaded before but fails now (changed meanwhile) is left out, and the engine is
    // built once more without it.
    for (;;) {
        engine.reset(cl_engine_new());
        count = 0;
        if (!engine) {
            loaded.clear();
            return;
        }
        const auto failed =
            std::find_if(loaded.begin(), loaded.end(), [&](const std::string& path) {
                return cl_load(path.c_str(), engine.get(), &count, CL_DB_STDOPT) != CL_SUCCESS;
            });
        if (failed == loaded.end())
            return;
        loaded.erase(failed);
    }
}

QString Engine::compile() {
    if (!engine)
        return "the engine could not be created";
    cl_engine_set_num(engine.get(), CL_ENGINE_MAX_FILESIZE, MaxFileSize);
    const QFileInfo shm("/dev/shm");
    const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
    scratch = std::make_unique<QTemporaryDir>(base + "/avtk-XXXXXX");
    if (scratch->isValid())
        cl_engine_set_str(engine.get(), CL_ENGINE_TMPDIR,
                          QFile::encodeName(scratch->path()).constData());
    cl_engine_set_clcb_file_inspection(engine.get(), Inspect);
    cl_engine_set_clcb_virus_found(engine.get(), Found);
    const cl_error_t status = cl_engine_compile(engine.get());
    if (status != CL_SUCCESS)
        return QString::fromUtf8(cl_strerror(status));
    compiled = true;
    return {};
}

ScanResult Engine::scan(int fd, const std::string& name, const ScanOptions& options) const {
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size <= 0 || uint64_t(st.st_size) > MaxFileSize)
        return Run(options, [&](const char** virus, unsigned long* scanned, cl_scan_options* o,
                                void* layers) {
            return cl_scandesc_callback(fd, name.c_str(), virus, scanned, engine.get(), o, layers);
        });
    if (st.st_size > ReadWholeLimit) {
        const MappedFile mapped(fd, size_t(st.st_size));
        if (!mapped.valid())
            return Failure(ErrnoText(mapped.error()));
        ScanResult result = scanBytes(mapped.data(), mapped.size(), name, options);
        // Zeros stood in for pages the file could not give: cut short meanwhile, that is less to
        // scan (as a read would give); still as long, the pages were unreadable.
        if (mapped.lostPages() > 0 && result.kind == ScanResult::Clean &&
            (::fstat(fd, &st) != 0 || uint64_t(st.st_size) >= mapped.size()))
            return Failure(ErrnoText(EIO));
        return result;
    }
    // Read, not mapped: a file cut short meanwhile gives less to scan, never a fault.
    std::vector<char> bytes(size_t(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failure(ErrnoText(errno));
        if (n == 0)
            break;
        got += size_t(n);
    }
    return got == 0 ? ScanResult{} : scanBytes(bytes.data(), got, name, options);
}

ScanResult Engine::scanBytes(const char* data, size_t size, const std::string& name,
                             const ScanOptions& options) const {
    std::unique_lock<std::mutex> one;
    if (options.archives && IsArchive(name, std::string_view(data, std::min(size, HeadSize))))
        one = std::unique_lock(unpacking);
    return scan(data, size, name, options);
}

ScanResult Engine::scan(const char* data, size_t size, const std::string& name,
                        const ScanOptions& options) const {
    std::unique_ptr<cl_fmap_t, void (*)(cl_fmap_t*)> map(cl_fmap_open_memory(data, size),
                                                         cl_fmap_close);
    if (!map)
        return Failure("out of memory");
    return Run(options,
               [&](const char** virus, unsigned long* scanned, cl_scan_options* o, void* layers) {
                   return cl_scanmap_callback(map.get(), name.c_str(), virus, scanned, engine.get(),
                                              o, layers);
               });
}

template <typename Call> ScanResult Engine::Run(const ScanOptions& options, Call&& call) const {
    if (!compiled)
        return Failure("the signatures are not prepared for scanning");
    Layers layers;
    cl_scan_options o = Translate(options);
    const char* virus = nullptr;
    unsigned long scanned = 0;
    const cl_error_t status = call(&virus, &scanned, &o, &layers);
    return Outcome(status, virus, layers);
}

} // namespace avtk
