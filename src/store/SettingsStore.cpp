#include "store/SettingsStore.h"

#include "platform/ErrnoText.h"
#include "platform/FileSystem.h"
#include "platform/VallorinError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// Marks a file as this program's store ("VlrG"), so that no other SQLite database is ever
// taken for one and written to.
constexpr int ApplicationId = 0x566C7247;
constexpr int SchemaVersion = 1;
// Long enough for another instance to finish whatever key it has open.
constexpr int BusyTimeoutMs = 10000;
constexpr qint64 RootId = 1;
// SQLite's own threshold for checkpoints at commit, in journal pages.
constexpr int WalCheckpointPages = 1000;

const char* const SchemaSql = R"(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    upper TEXT NOT NULL,
    UNIQUE(parent, upper));
CREATE TABLE vals(
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    upper TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, upper));
INSERT INTO keys(id, parent, name, upper) VALUES(1, NULL, '', '');
)";

// SQLite sets twenty page buffers aside for each connection at its first read, 170 kB for a
// store's two files of which a start-up reads a few pages: the pages come from the heap as
// they are needed instead. This is SQLite's process-wide setting and can only be made before
// its first use, so it is made once, before the first connection opens.
void ConfigureSqlite() {
    [[maybe_unused]] static const int done = sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
}

// The first 16 bytes of a file (zeros for what it lacks), read through SQLite's own file layer:
// the locks of POSIX belong to the process, so closing any descriptor of the file would drop the
// locks that another store of this process holds on it, and another program would then take
// itself for the file's last user and move the journal away from under that store (whose later
// commits would be lost). SQLite's layer keeps such a descriptor open until those locks go.
QByteArray FileHeader(const QByteArray& path, QString& error) {
    ConfigureSqlite();
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (!vfs) {
        error = SettingsStore::tr("SQLite has no file layer");
        return {};
    }
    // The name as SQLite itself opens it.
    std::vector<char> name(size_t(vfs->mxPathname) + 1);
    if (vfs->xFullPathname(vfs, path.constData(), int(name.size()), name.data()) != SQLITE_OK) {
        error = QString::fromLocal8Bit(strerror(ENAMETOOLONG));
        return {};
    }
    std::vector<char> space(size_t(vfs->szOsFile));
    auto* handle = reinterpret_cast<sqlite3_file*>(space.data());
    int flags = 0;
    errno = 0;
    if (vfs->xOpen(vfs, name.data(), handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB, &flags) !=
        SQLITE_OK) {
        error = QString::fromLocal8Bit(strerror(errno ? errno : EIO));
        if (handle->pMethods)
            handle->pMethods->xClose(handle);
        return {};
    }
    QByteArray header(16, '\0');
    const int rc = handle->pMethods->xRead(handle, header.data(), int(header.size()), 0);
    handle->pMethods->xClose(handle);
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
        error = QString::fromLocal8Bit(strerror(EIO));
    return header;
}

// The one text of a file the store cannot use at all, whatever is wrong with it: the user is
// told what to do, since the program can do nothing with it.
QString UnusableText(const QString& file, const QString& why) {
    return SettingsStore::tr("The settings file \"%1\" cannot be used: %2. It was left unchanged; "
                             "restore it from a backup, or remove it to start afresh.")
        .arg(file, why);
}

// A failure of the file that may pass (locked, read-only, full), as opposed to a misuse such as
// reading text from a number: it ends the open key's transaction.
class StoreFileError : public VallorinError {
public:
    StoreFileError(const QString& message, int code) : VallorinError(message), code(code) {}
    int code; // SQLite's primary result code
};

// The comparison form of a name: each character mapped on its own to upper case, as the
// registry does (so "ß" stays one character and never equals "SS").
QString foldName(const QString& name) {
    QList<uint> codes = name.toUcs4();
    for (uint& code : codes)
        code = QChar::toUpper(code);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codes.constData()), codes.size());
}

QByteArray utf16Bytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append(2, '\0'); // the terminating null the registry keeps with every text
    return bytes;
}

QString textOfUtf16(const QByteArray& bytes) {
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = char16_t(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8));
        if (unit == 0)
            break; // text ends at its first null, as the registry object reads it
        text += QChar(unit);
    }
    return text;
}

// One branch file with its connection and its prepared statements.
class Branch {
public:
    // deferCheck: a file already the store's own is checked for damage at its first change
    // (forChange) rather than before the constructor returns.
    Branch(const QString& fileName, bool deferCheck);
    ~Branch();
    Branch(const Branch&) = delete;
    Branch& operator=(const Branch&) = delete;

    sqlite3_stmt* statement(const char* sql);
    [[noreturn]] void fail(const QString& what);
    void exec(const char* sql);
    void begin();
    void commit();
    void rollback() noexcept;
    void close() noexcept;

    // Starts a transaction that begin, commit and rollback leave alone until release ends it:
    // the keys opened and closed meanwhile all belong to it.
    void hold();
    void release(bool keep);
    // Writes the held transaction's pages to the journal, uncommitted.
    void flush();
    // Copies the journal into the file, as the commits of a held transaction did not.
    void checkpoint() noexcept;

    // The branch about to be changed: checked first, if its check was deferred; throws the
    // refusal of a damaged file (each time), which is then left as it is.
    Branch& forChange();

    QString file;
    sqlite3* db = nullptr;
    bool readOnly = false;

private:
    [[noreturn]] void refuse(const QString& why);
    void checkAndPrepare(bool deferCheck);
    // SQLite's quick check of the whole file: the refusal of a damaged file, or empty. Gives
    // the pages it read back to the heap.
    QString quickCheck();
    bool hasOurTables();
    qint64 pragmaInteger(const char* sql);
    std::unordered_map<std::string, sqlite3_stmt*> cache;
    bool held = false;
    bool checkPending = false;
    QString refusal; // why the file is not to be changed, once its check found it damaged
    // SQLite may end a transaction itself on some errors; after one, nothing more may run in a
    // held transaction, or it would run (and commit) on its own.
    bool failedWhileHeld = false;
};

// A cached statement in use: bound, stepped, and reset when it goes out of scope.
class Query {
public:
    Query(Branch& branch, const char* sql) : branch(branch), st(branch.statement(sql)) {}
    ~Query() {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    Query& bind(int index, qint64 value) {
        check(sqlite3_bind_int64(st, index, value));
        return *this;
    }
    Query& bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        check(sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Query& bind(int index, const QByteArray& data) {
        // A zero-length blob must still be a blob, never NULL.
        check(sqlite3_bind_blob(st, index, data.isEmpty() ? "" : data.constData(), int(data.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    // True while there is a row.
    bool step() {
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        branch.fail(QString());
    }
    qint64 integer(int column) { return sqlite3_column_int64(st, column); }
    QString text(int column) {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(st, column));
    }
    QByteArray blob(int column) {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(st, column));
        return QByteArray(data, sqlite3_column_bytes(st, column));
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            branch.fail(QString());
    }
    Branch& branch;
    sqlite3_stmt* st;
};

Branch::Branch(const QString& fileName, bool deferCheck) : file(fileName) {
    const QByteArray path = QFile::encodeName(file);
    // Looked at before anything opens it: a named pipe would block the open, and a device
    // would answer with errors that read like a failing disk.
    const QString notAFile = FileSystem::NotARegularFile(file);
    if (!notAFile.isEmpty())
        throw UnusableStoreError(UnusableText(file, SettingsStore::tr("it is %1").arg(notAFile)));
    const QFileInfo info(file);
    if (info.exists() && info.size() > 0) {
        // Look at the header ourselves before SQLite reads the file as a database.
        QString unreadable;
        const QByteArray header = FileHeader(path, unreadable);
        if (!unreadable.isEmpty())
            throw UnusableStoreError(
                UnusableText(file, SettingsStore::tr("it cannot be read (%1)").arg(unreadable)));
        if (header != QByteArray("SQLite format 3", 16))
            throw UnusableStoreError(UnusableText(
                file,
                SettingsStore::tr(
                    "it is not a settings file of this program, or its beginning is damaged")));
    } else if (!info.exists()) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        else if (errno != EEXIST)
            throw VallorinError(SettingsStore::tr("The settings file \"%1\" cannot be created: %2")
                                    .arg(file, ErrnoText(errno)));
    }
    ConfigureSqlite();
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const QString why =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : SettingsStore::tr("out of memory");
        sqlite3_close(db);
        db = nullptr;
        throw VallorinError(
            SettingsStore::tr("The settings file \"%1\" cannot be opened: %2").arg(file, why));
    }
    // The store prepares each statement once and keeps it: lookaside memory (kept for good by
    // each connection) would only speed up those few preparations.
    sqlite3_db_config(db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
    try {
        // Programs that open one new file at once meet in the journal switch and the schema
        // creation, where SQLite answers "busy" without waiting rather than risk a deadlock:
        // such an answer is worth another try until the busy timeout is spent.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs);
        for (;;) {
            try {
                checkAndPrepare(deferCheck);
                break;
            } catch (const StoreFileError& error) {
                if (error.code != SQLITE_BUSY || std::chrono::steady_clock::now() > deadline)
                    throw;
                rollback();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    } catch (...) {
        close();
        throw;
    }
}

Branch::~Branch() {
    close();
}

void Branch::close() noexcept {
    for (auto& [sql, st] : cache)
        sqlite3_finalize(st);
    cache.clear();
    // The last connection's close copies the journal into the file. Into a file refused as
    // unusable nothing is copied: what a journal holds stays beside it, and the file stays as it
    // is. An empty journal is left to SQLite, which removes it.
    if (db && !refusal.isEmpty() && QFileInfo(file + "-wal").size() > 0)
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db);
    db = nullptr;
}

void Branch::refuse(const QString& why) {
    refusal = why;
    checkPending = false;
    throw UnusableStoreError(UnusableText(file, why));
}

qint64 Branch::pragmaInteger(const char* sql) {
    Query q(*this, sql);
    return q.step() ? q.integer(0) : 0;
}

// Reads only, until the file is known to be ours (or empty): a foreign database must not
// even get a journal mode switched.
void Branch::checkAndPrepare(bool deferCheck) {
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    readOnly = sqlite3_db_readonly(db, "main") == 1;

    const auto isFresh = [this](qint64 id) {
        return id == 0 && pragmaInteger("SELECT count(*) FROM sqlite_schema") == 0;
    };
    qint64 appId = 0;
    bool fresh = false;
    qint64 version = 0;
    bool damaged = false;
    bool tables = false;
    try {
        // One snapshot for every check: another instance may be creating this file meanwhile,
        // and its schema must not appear between reading the mark and counting the tables.
        exec("BEGIN");
        appId = pragmaInteger("PRAGMA application_id");
        // Only a file already the store's own may have its check deferred: a fresh one costs
        // nothing to check, and a foreign one is refused either way.
        checkPending = deferCheck && appId == ApplicationId;
        damaged = !checkPending && !quickCheck().isEmpty();
        fresh = isFresh(appId);
        version = pragmaInteger("PRAGMA user_version");
        tables = appId == ApplicationId && !damaged && hasOurTables();
        exec("COMMIT");
    } catch (...) {
        rollback();
        throw;
    }
    if (damaged)
        refuse(SettingsStore::tr("it is damaged"));
    if (appId != ApplicationId && !fresh)
        refuse(SettingsStore::tr("it is not a settings file of this program"));
    if (appId == ApplicationId && version > SchemaVersion)
        refuse(SettingsStore::tr("it was written by a newer version of this program"));
    if (appId == ApplicationId && !tables)
        refuse(SettingsStore::tr(
            "it is marked as a settings file of this program but lacks the tables of one"));

    if (!readOnly) {
        Query wal(*this, "PRAGMA journal_mode=WAL");
        if (!wal.step() || wal.text(0).compare("wal", Qt::CaseInsensitive) != 0)
            fail(SettingsStore::tr("the write-ahead journal cannot be switched on"));
    }
    exec("PRAGMA synchronous=FULL");
    exec("PRAGMA foreign_keys=ON");

    if (appId == ApplicationId)
        return;
    if (readOnly)
        fail(SettingsStore::tr("the new file cannot be written"));
    // Another instance may be creating the same file: decide again under the write lock.
    begin();
    try {
        const qint64 id = pragmaInteger("PRAGMA application_id");
        if (id != ApplicationId) {
            if (!isFresh(id))
                refuse(SettingsStore::tr("it is not a settings file of this program"));
            char* error = nullptr;
            if (sqlite3_exec(db, SchemaSql, nullptr, nullptr, &error) != SQLITE_OK) {
                sqlite3_free(error);
                fail(QString());
            }
            // Pragmas cannot take parameters; both values are our own constants.
            exec(("PRAGMA application_id=" + std::to_string(ApplicationId)).c_str());
            exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
        }
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}

QString Branch::quickCheck() {
    bool damaged = false;
    {
        Query check(*this, "PRAGMA quick_check");
        damaged = !check.step() || check.text(0) != "ok";
    }
    // The check read every page of the file into the page cache, and the program reads a few
    // keys: the memory goes back to the heap.
    sqlite3_db_release_memory(db);
    return damaged ? SettingsStore::tr("it is damaged") : QString();
}

Branch& Branch::forChange() {
    if (checkPending) {
        // A busy file's error leaves the check to the next change; damage that SQLite meets
        // on its way is refused as the check's finding would be.
        const QString damage = quickCheck();
        if (!damage.isEmpty())
            refuse(damage);
        checkPending = false;
    }
    if (!refusal.isEmpty())
        refuse(refusal);
    return *this;
}

// The tables and columns the store uses, and its root key: a file that carries the mark but
// lacks them was not made by this program and must not be written to.
bool Branch::hasOurTables() {
    const auto columns = [this](const char* sql) {
        QStringList names;
        Query q(*this, sql);
        while (q.step())
            names << q.text(0);
        return names;
    };
    if (columns("SELECT name FROM pragma_table_info('keys')") !=
            QStringList({"id", "parent", "name", "upper"}) ||
        columns("SELECT name FROM pragma_table_info('vals')") !=
            QStringList({"id", "key", "name", "upper", "type", "data"}))
        return false;
    return pragmaInteger("SELECT count(*) FROM keys WHERE id=1 AND parent IS NULL") == 1;
}

sqlite3_stmt* Branch::statement(const char* sql) {
    if (failedWhileHeld)
        throw VallorinError(
            SettingsStore::tr("The settings file \"%1\" could not be used: a change "
                              "was abandoned after an error")
                .arg(file));
    auto found = cache.find(sql);
    if (found != cache.end())
        return found->second;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        fail(QString());
    cache.emplace(sql, st);
    return st;
}

void Branch::fail(const QString& what) {
    failedWhileHeld = held;
    const int rc = sqlite3_errcode(db) & 0xFF;
    // Wherever SQLite meets damage, the file is given up as its check would have given it up.
    if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB)
        refuse(SettingsStore::tr("it is damaged"));
    QString why = what.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(db)) : what;
    if (rc == SQLITE_READONLY)
        why = SettingsStore::tr("the file is read-only");
    else if (rc == SQLITE_FULL)
        why = SettingsStore::tr("the disk is full");
    else if (rc == SQLITE_IOERR)
        why = SettingsStore::tr(
            "the disk is full or failing"); // a write or sync that the system refused
    else if (rc == SQLITE_BUSY)
        why = SettingsStore::tr("another program keeps it locked");
    throw StoreFileError(
        SettingsStore::tr("The settings file \"%1\" could not be used: %2").arg(file, why), rc);
}

void Branch::exec(const char* sql) {
    Query q(*this, sql);
    while (q.step()) {
    }
}

void Branch::begin() {
    if (!held)
        exec(readOnly ? "BEGIN" : "BEGIN IMMEDIATE");
}

void Branch::commit() {
    if (held)
        return;
    try {
        exec("COMMIT");
    } catch (...) {
        // A commit that failed (full disk) may leave the transaction open: undo it, so the
        // file keeps what was committed before.
        rollback();
        throw;
    }
}

void Branch::rollback() noexcept {
    if (!held && !sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Branch::hold() {
    // No checkpoint at this branch's commit: copying a large change into the file would stand
    // between this commit and the next branch's, where a kill leaves one branch changed.
    sqlite3_wal_autocheckpoint(db, 0);
    begin();
    held = true;
    failedWhileHeld = false;
}

void Branch::release(bool keep) {
    held = false;
    failedWhileHeld = false;
    sqlite3_wal_autocheckpoint(db, WalCheckpointPages);
    if (keep)
        commit();
    else
        rollback();
}

void Branch::flush() {
    if (sqlite3_db_cacheflush(db) != SQLITE_OK)
        fail(QString());
}

void Branch::checkpoint() noexcept {
    // Housekeeping only: what is committed is in the journal, durable, whether this works or not.
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

// A character that the store cannot keep in a name, or 0: a NUL cuts the name short wherever
// it is shown or passed on, and half a surrogate pair has no UTF-8 form, so it would be stored
// as another character. Either way the name could never be addressed again.
char32_t unkeepableCharacter(const QString& name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isNull())
            return 0xFFFFFFFF; // stands for NUL, which 0 cannot
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return c.unicode();
    }
    return 0;
}

// The name with its unkeepable characters spelled out, for a message.
QString shownName(const QString& name) {
    QString shown;
    for (QChar c : name)
        shown += c.isNull() || c.isSurrogate()
                     ? QString("<U+%1>").arg(c.unicode(), 4, 16, QChar('0')).toUpper()
                     : QString(c);
    return shown;
}

void checkName(const char* what, const QString& name) {
    const char32_t c = unkeepableCharacter(name);
    if (c == 0)
        return;
    throw VallorinError(
        SettingsStore::tr("The %1 name \"%2\" holds %3, which the settings cannot keep")
            .arg(what, shownName(name),
                 c == 0xFFFFFFFF ? QString("a NUL character")
                                 : QString("half of a surrogate pair")));
}

} // namespace

QStringList SettingsStore::splitPath(const QString& path) {
    if (path.startsWith('\\'))
        throw VallorinError(
            SettingsStore::tr("The key path \"%1\" may not begin with \"\\\"").arg(path));
    const QStringList parts = path.split('\\', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part.size() > MaxKeyNameLength)
            throw VallorinError(
                SettingsStore::tr("The key name \"%1\" is longer than %2 characters")
                    .arg(part, QString::number(MaxKeyNameLength)));
        checkName("key", part);
    }
    if (parts.size() > MaxKeyDepth)
        throw VallorinError(SettingsStore::tr("The key path \"%1\" is nested deeper than %2 keys")
                                .arg(path, QString::number(MaxKeyDepth)));
    return parts;
}

void SettingsStore::checkValueName(const QString& name) {
    checkName("value", name);
}

struct SettingsStore::Impl {
    Impl(const QString& prefix, bool deferCheck)
        : user(prefix + "user.db", deferCheck), system(prefix + "system.db", deferCheck) {}

    Branch& branchOf(RootKey which) { return which == RootKey::CurrentUser ? user : system; }
    Branch& branch() {
        if (holding && !holding->contains(root))
            throw VallorinError(
                SettingsStore::tr("The settings change was not prepared for this branch"));
        return branchOf(root);
    }

    // The key's id, or -1 when it (or a key above it) is missing and create is false.
    qint64 resolve(const QStringList& parts, bool create) {
        qint64 id = RootId;
        for (const QString& part : parts) {
            const QString upper = foldName(part);
            Query find(branch(), "SELECT id FROM keys WHERE parent=?1 AND upper=?2");
            find.bind(1, id).bind(2, upper);
            if (find.step()) {
                id = find.integer(0);
                continue;
            }
            if (!create)
                return -1;
            Query insert(branch().forChange(),
                         "INSERT INTO keys(parent, name, upper) VALUES(?1, ?2, ?3)");
            insert.bind(1, id).bind(2, part).bind(3, upper).step();
            id = sqlite3_last_insert_rowid(branch().db);
        }
        return id;
    }

    QStringList childNames(qint64 id) {
        std::vector<std::pair<QString, QString>> rows;
        Query q(branch(), "SELECT upper, name FROM keys WHERE parent=?1");
        q.bind(1, id);
        while (q.step())
            rows.emplace_back(q.text(0), q.text(1));
        // By UTF-16 code unit of the upper-case form, as the registry orders them.
        std::sort(rows.begin(), rows.end());
        QStringList names;
        for (auto& row : rows)
            names << row.second;
        return names;
    }

    // Runs f inside the open key's transaction, or in a short one of its own. A failure of
    // the file rolls the transaction back; when it was the open key's, that key is closed.
    template <class F> auto transact(F f) {
        if (open) {
            try {
                return f();
            } catch (const StoreFileError&) {
                abandonKey();
                throw;
            } catch (const UnusableStoreError&) {
                abandonKey();
                throw;
            }
        }
        Branch& b = branch();
        b.begin();
        try {
            auto result = f();
            b.commit();
            return result;
        } catch (...) {
            b.rollback();
            throw;
        }
    }

    void abandonKey() noexcept {
        branchOf(root).rollback();
        open = false;
        openPath.clear();
    }

    qint64 requireKey(const char* operation) {
        if (!open)
            throw VallorinError(SettingsStore::tr("No settings key is open to %1")
                                    .arg(SettingsStore::tr(operation)));
        if (openDeleted)
            throw VallorinError(
                SettingsStore::tr("The settings key \"%1\" has been deleted").arg(openPath));
        return openId;
    }

    // Type and data of a value of the open key; type None when absent.
    std::pair<int, QByteArray> value(const QString& name) {
        const qint64 id = requireKey(QT_TRANSLATE_NOOP("SettingsStore", "read from"));
        return transact([&] {
            Query q(branch(), "SELECT type, data FROM vals WHERE key=?1 AND upper=?2");
            q.bind(1, id).bind(2, foldName(name));
            if (!q.step())
                return std::pair<int, QByteArray>(-1, QByteArray());
            return std::pair<int, QByteArray>(int(q.integer(0)), q.blob(1));
        });
    }

    void write(const QString& name, int type, const QByteArray& data) {
        const qint64 id = requireKey(QT_TRANSLATE_NOOP("SettingsStore", "write to"));
        checkValueName(name);
        transact([&] {
            // Overwriting keeps the first spelling of the name and its place in the order.
            Query q(branch().forChange(), "INSERT INTO vals(key, name, upper, type, data) "
                                          "VALUES(?1, ?2, ?3, ?4, ?5) ON CONFLICT(key, upper) "
                                          "DO UPDATE SET type=excluded.type, data=excluded.data");
            q.bind(1, id).bind(2, name).bind(3, foldName(name)).bind(4, qint64(type)).bind(5, data);
            q.step();
            return 0;
        });
    }

    Branch user;
    Branch system;
    // The branches of the transaction inOneTransaction runs, while it runs.
    const QList<RootKey>* holding = nullptr;
    RootKey root = RootKey::CurrentUser;
    bool open = false;
    bool openDeleted = false;
    qint64 openId = 0;
    QString openPath;
};

SettingsStore::SettingsStore(const QString& prefixFolder, Check check) {
    QString prefix = prefixFolder;
    if (!prefix.endsWith('/'))
        prefix += '/';
    d = std::make_unique<Impl>(prefix, check == Check::BeforeFirstChange);
}

void SettingsStore::checkFiles() {
    d->user.forChange();
    d->system.forChange();
}

SettingsStore::~SettingsStore() {
    try {
        closeKey();
    } catch (const VallorinError&) {
        // Nothing to tell anyone any more; the transaction was rolled back.
    }
}

void SettingsStore::setRootKey(RootKey root) {
    closeKey();
    d->root = root;
}

RootKey SettingsStore::rootKey() const {
    return d->root;
}

bool SettingsStore::keyExists(const QString& path) {
    const QStringList parts = SettingsStore::splitPath(path);
    return d->transact([&] { return d->resolve(parts, false) >= 0; });
}

bool SettingsStore::deleteKey(const QString& path) {
    const QStringList parts = SettingsStore::splitPath(path);
    if (parts.isEmpty())
        throw VallorinError(SettingsStore::tr("The root of the settings cannot be deleted"));
    return d->transact([&] {
        const qint64 id = d->resolve(parts, false);
        if (id < 0)
            return false;
        Query q(d->branch().forChange(), "DELETE FROM keys WHERE id=?1");
        q.bind(1, id).step();
        if (d->open) {
            Query alive(d->branch(), "SELECT 1 FROM keys WHERE id=?1");
            alive.bind(1, d->openId);
            d->openDeleted = !alive.step();
        }
        return true;
    });
}

bool SettingsStore::openKey(const QString& path, bool canCreate) {
    const QStringList parts = SettingsStore::splitPath(path);
    closeKey();
    Branch& b = d->branch();
    b.begin();
    try {
        const qint64 id = d->resolve(parts, canCreate);
        if (id < 0) {
            b.commit();
            return false;
        }
        d->open = true;
        d->openDeleted = false;
        d->openId = id;
        d->openPath = path;
        return true;
    } catch (...) {
        b.rollback();
        throw;
    }
}

void SettingsStore::closeKey() {
    if (!d->open)
        return;
    d->open = false;
    d->openPath.clear();
    d->branch().commit();
}

bool SettingsStore::hasOpenKey() const {
    return d->open;
}

QString SettingsStore::currentPath() const {
    return d->openPath;
}

bool SettingsStore::valueExists(const QString& name) {
    return d->value(name).first >= 0;
}

ValueType SettingsStore::valueType(const QString& name) {
    const int type = d->value(name).first;
    return type < 0 ? ValueType::None : ValueType(type);
}

QString SettingsStore::readString(const QString& name) {
    const auto [type, data] = d->value(name);
    if (type < 0)
        return QString();
    if (type != int(ValueType::String) && type != int(ValueType::ExpandString))
        throw VallorinError(SettingsStore::tr("Invalid data type for '%1'").arg(name));
    return textOfUtf16(data);
}

void SettingsStore::writeString(const QString& name, const QString& value) {
    d->write(name, int(ValueType::String), utf16Bytes(value));
}

void SettingsStore::writeExpandString(const QString& name, const QString& value) {
    d->write(name, int(ValueType::ExpandString), utf16Bytes(value));
}

QByteArray SettingsStore::readBinary(const QString& name) {
    return d->value(name).second;
}

void SettingsStore::writeBinary(const QString& name, const QByteArray& data) {
    d->write(name, int(ValueType::Binary), data);
}

quint32 SettingsStore::readInteger(const QString& name) {
    const auto [type, data] = d->value(name);
    if (type < 0)
        throw VallorinError(SettingsStore::tr("Failed to get data for '%1'").arg(name));
    if (type != int(ValueType::DWord) || data.size() > 4)
        throw VallorinError(SettingsStore::tr("Invalid data type for '%1'").arg(name));
    quint32 value = 0;
    for (qsizetype i = 0; i < data.size(); ++i)
        value |= quint32(uchar(data[i])) << (8 * i);
    return value;
}

void SettingsStore::writeInteger(const QString& name, quint32 value) {
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((value >> (8 * i)) & 0xFF);
    d->write(name, int(ValueType::DWord), data);
}

void SettingsStore::writeRaw(const QString& name, ValueType type, const QByteArray& data) {
    d->write(name, int(type), data);
}

bool SettingsStore::deleteValue(const QString& name) {
    const qint64 id = d->requireKey(QT_TRANSLATE_NOOP("SettingsStore", "delete from"));
    return d->transact([&] {
        Query q(d->branch().forChange(), "DELETE FROM vals WHERE key=?1 AND upper=?2");
        q.bind(1, id).bind(2, foldName(name)).step();
        return sqlite3_changes(d->branch().db) > 0;
    });
}

QStringList SettingsStore::getKeyNames() {
    const qint64 id = d->requireKey(QT_TRANSLATE_NOOP("SettingsStore", "list"));
    return d->transact([&] { return d->childNames(id); });
}

QStringList SettingsStore::getValueNames() {
    const qint64 id = d->requireKey(QT_TRANSLATE_NOOP("SettingsStore", "list"));
    return d->transact([&] {
        QStringList names;
        Query q(d->branch(), "SELECT name FROM vals WHERE key=?1 ORDER BY id");
        q.bind(1, id);
        while (q.step())
            names << q.text(0);
        return names;
    });
}

void SettingsStore::releaseMemory() {
    for (Branch* branch : {&d->user, &d->system})
        sqlite3_db_release_memory(branch->db);
}

void SettingsStore::inOneTransaction(const QList<RootKey>& roots,
                                     const std::function<void()>& change) {
    if (d->holding)
        throw VallorinError(SettingsStore::tr("A settings change is already under way"));
    closeKey();
    std::vector<Branch*> held;
    // Always user before system, so two programs changing both cannot wait for each other.
    for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine})
        if (roots.contains(root))
            held.push_back(&d->branchOf(root));
    // Every branch is released, whatever happens to the one before: a failed commit rolls the
    // ones after it back.
    const auto finish = [&](bool keep) {
        d->open = false;
        d->openPath.clear();
        d->holding = nullptr;
        std::exception_ptr failure;
        for (Branch* branch : held) {
            try {
                branch->release(keep && !failure);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        if (failure)
            std::rethrow_exception(failure);
        for (Branch* branch : held)
            branch->checkpoint();
    };
    try {
        for (Branch* branch : held)
            branch->hold();
        d->holding = &roots;
        change();
        // Every page is written before the first commit, so that the commits themselves, between
        // which a kill parts the branches, write no more than their last pages.
        for (Branch* branch : held)
            branch->flush();
    } catch (...) {
        finish(false);
        throw;
    }
    finish(true);
}

QStringList SettingsStore::keyNamesOf(const QString& path) {
    const QStringList parts = SettingsStore::splitPath(path);
    return d->transact([&] {
        const qint64 id = d->resolve(parts, false);
        return id < 0 ? QStringList() : d->childNames(id);
    });
}
