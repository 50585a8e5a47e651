#include "RegistryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "ERegistryException.h"
#include "MessageBoxHook.h"
#include "RegFileFormat.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kivra {
namespace {

constexpr int kLockWaitMs = 10000;        // a change waits this long for another copy's change
constexpr int kRecoverLockWaitMs = 2000;  // a read that found damage waits less, and retries later
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

std::mutex g_instanceLock;
QString g_pathOverride;

std::string Utf8(const QString &s) { return s.toStdString(); }

QString Summary(const QStringList &problems) {
    if (problems.size() == 1) return problems.first();
    return QStringLiteral("%1, and %2 more").arg(problems.first()).arg(problems.size() - 1);
}

// Why a path whose stat or open failed with error cannot be read.
QString OpenFailure(int error) {
    if (error == EACCES || error == EPERM) return QStringLiteral("reading it is not permitted");
    return QStringLiteral("it cannot be opened (%1)")
        .arg(QString::fromLocal8Bit(std::strerror(error)));
}

// Why a path of this kind is not read as a settings file; empty for a regular file.
QString NotAFile(mode_t mode) {
    if (S_ISREG(mode)) return QString();
    if (S_ISDIR(mode)) return QStringLiteral("it is a folder");
    if (S_ISFIFO(mode)) return QStringLiteral("it is a named pipe (FIFO), not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("it is a device, not a file");
    if (S_ISSOCK(mode)) return QStringLiteral("it is a socket, not a file");
    return QStringLiteral("it is not a regular file");
}

bool IsEmpty(const RegistryKey &root) { return root.Values.empty() && root.Subkeys.empty(); }

// Shows a message once the store's locks are released.
struct PendingMessage {
    QString Text;
    ~PendingMessage() {
        if (!Text.isEmpty())
            ApplicationMessageBox(Utf8(Text), "Kivrawatch", MB_OK | MB_ICONWARNING);
    }
};

}  // namespace

RegistryStore::RegistryStore(const QString &filePath) : Path(filePath) {}

RegistryStore &RegistryStore::Instance() {
    static RegistryStore store(DefaultFilePath());
    return store;
}

void RegistryStore::SetFilePath(const QString &filePath) {
    {
        std::lock_guard<std::mutex> lock(g_instanceLock);
        g_pathOverride = filePath;
    }
    Instance().ResetTo(DefaultFilePath());
}

QString RegistryStore::DefaultFilePath() {
    {
        std::lock_guard<std::mutex> lock(g_instanceLock);
        if (!g_pathOverride.isEmpty()) return g_pathOverride;
    }
    const QString env = qEnvironmentVariable("KIVRA_REGISTRY_FILE");
    if (!env.isEmpty()) return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kivrawatch/settings.reg");
}

void RegistryStore::ResetTo(const QString &filePath) {
    std::lock_guard<std::mutex> lock(Mutex);
    Path = filePath;
    Root = RegistryKey();
    Loaded = false;
    Known.reset();
    Blocked = false;
    BlockedBytes.clear();
    CannotRead.clear();
}

QString RegistryStore::FilePath() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Path;
}

RegistryStore::FileContents RegistryStore::ReadFile(const QString &path) {
    FileContents c;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        // No file (ENOTDIR: a file stands where a folder of the path should be, so none can).
        if (errno == ENOENT || errno == ENOTDIR) return c;
        c.State = FileState::Unreadable;
        c.Error = OpenFailure(errno);
        return c;
    }
    c.State = FileState::Unreadable;
    c.Error = NotAFile(st.st_mode);
    if (!c.Error.isEmpty()) return c;  // never opened: a FIFO would wait, a device may act
    // O_NONBLOCK: a path turned into a FIFO since the stat does not wait for a writer either.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return FileContents();  // removed meanwhile
        c.Error = OpenFailure(errno);
        return c;
    }
    const int statResult = ::fstat(fd, &st);
    c.Error = statResult != 0 ? OpenFailure(errno) : NotAFile(st.st_mode);
    QFile f;
    if (c.Error.isEmpty() && !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        c.Error = QStringLiteral("reading it fails (%1)").arg(f.errorString());
    if (!c.Error.isEmpty()) {
        ::close(fd);
        return c;
    }
    c.Bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        c.Error = QStringLiteral("reading it fails (%1)").arg(f.errorString());
        c.Bytes.clear();
        return c;
    }
    c.State = FileState::Read;
    return c;
}

void RegistryStore::Read(const std::function<void(const RegistryKey &)> &reader) {
    PendingMessage message;
    std::lock_guard<std::mutex> lock(Mutex);
    Refresh(false, message.Text);
    reader(Root);
}

void RegistryStore::Refresh(bool haveFileLock, QString &message) {
    const FileContents file = ReadFile(Path);
    if (file.State == FileState::Unreadable) {
        LeaveUnreadable(file.Error, message);
        return;
    }
    CannotRead.clear();
    if (file.State == FileState::Missing) {
        if (!Loaded || Known) Root = RegistryKey();
        Loaded = true;
        Known.reset();
        Blocked = false;
        return;
    }
    if (Loaded && Known && *Known == file.Bytes) return;
    const bool toldAlready = Blocked && file.Bytes == BlockedBytes;
    if (toldAlready && !haveFileLock) return;  // a change tries to move it aside again

    RegistryKey fresh;
    const QStringList problems = RegFileFormat::Apply(file.Bytes, fresh);
    if (problems.isEmpty()) {
        Root = std::move(fresh);
        Loaded = true;
        Known = file.Bytes;
        Blocked = false;
        return;
    }
    if (!haveFileLock) {
        // Moving the file aside must not race another copy's write: under the lock, look again.
        // A lock that cannot even be made means no copy can write here: nothing to race.
        QString folderError;
        EnsureFolder(folderError);
        QLockFile lock(Path + QStringLiteral(".lock"));
        if (lock.tryLock(kRecoverLockWaitMs)) {
            Refresh(true, message);
            return;
        }
        if (lock.error() == QLockFile::LockFailedError) {
            Root = std::move(fresh);  // go on with what could be read; handled at the next look
            Loaded = true;
            Known.reset();
            return;
        }
    }
    QString news;
    KeepAside(fresh, file.Bytes, problems, news);
    if (!(toldAlready && Blocked)) message = news;
}

void RegistryStore::LeaveUnreadable(const QString &why, QString &message) {
    if (!Loaded) Root = RegistryKey();
    if (CannotRead != why) {
        const QString goesOn = IsEmpty(Root) ? QStringLiteral("its default settings")
                                             : QStringLiteral("the settings it read before");
        message = QStringLiteral(
                      "The settings file %1 cannot be read: %2.\nKivrawatch leaves it as it is "
                      "and goes on with %3; no setting can be saved while it cannot be read.")
                      .arg(QDir::toNativeSeparators(Path), why, goesOn);
    }
    Loaded = true;
    Known.reset();
    Blocked = false;
    CannotRead = why;
}

void RegistryStore::KeepAside(const RegistryKey &recovered, const QByteArray &bytes,
                              const QStringList &problems, QString &message) {
    Root = recovered;
    Loaded = true;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = Path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = Path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    const QString cause = QStringLiteral("damaged: %1").arg(Summary(problems));
    if (!QFile::rename(Path, aside)) {
        Blocked = true;
        BlockedBytes = bytes;
        Known.reset();
        message = QStringLiteral(
                      "The settings file %1 is %2.\nIt could not be moved aside either, so "
                      "Kivrawatch goes on with the settings it could read and saves no setting "
                      "while the file stays where it is.")
                      .arg(QDir::toNativeSeparators(Path), cause);
        return;
    }
    Blocked = false;
    QString saveError;
    if (!Save(Root, saveError)) Known.reset();
    message = QStringLiteral(
                  "The settings file %1 is %2.\nIt has been kept as %3, and Kivrawatch goes on "
                  "with the settings it could read.")
                  .arg(QDir::toNativeSeparators(Path), cause, QDir::toNativeSeparators(aside));
}

bool RegistryStore::EnsureFolder(QString &error) const {
    const QFileInfo info(Path);
    QDir folder = info.absoluteDir();
    if (folder.exists()) return true;
    if (!folder.mkpath(QStringLiteral("."))) {
        error = QStringLiteral("the folder %1 cannot be created")
                    .arg(QDir::toNativeSeparators(folder.absolutePath()));
        return false;
    }
    QFile::setPermissions(folder.absolutePath(), kOwnerOnly | QFileDevice::ExeOwner);
    return true;
}

bool RegistryStore::Save(const RegistryKey &tree, QString &error) {
    if (!EnsureFolder(error)) return false;
    const QByteArray bytes = RegFileFormat::Write(tree);
    QSaveFile f(Path);
    if (!f.open(QIODevice::WriteOnly)) {
        error = f.errorString();
        return false;
    }
    // Set on the temporary file, so the settings (passwords among them) are never readable by
    // others, not even for a moment.
    if (!f.setPermissions(kOwnerOnly) || f.write(bytes) != bytes.size()) {
        error = f.errorString();
        f.cancelWriting();
        return false;
    }
    if (!f.commit()) {
        error = f.errorString();
        return false;
    }
    Known = bytes;
    return true;
}

bool RegistryStore::Modify(const std::function<bool(RegistryKey &)> &change) {
    PendingMessage message;
    std::lock_guard<std::mutex> lock(Mutex);
    const auto refuseUnreadable = [this] {
        if (!CannotRead.isEmpty())
            throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                     " cannot be read: " + Utf8(CannotRead) +
                                     "; the change is not saved");
    };
    // A path that cannot be read is left alone: no folder is made for it, no lock file beside it.
    Refresh(false, message.Text);
    refuseUnreadable();
    QString error;
    if (!EnsureFolder(error))
        throw ERegistryException("The settings cannot be saved: " + Utf8(error));
    QLockFile fileLock(Path + QStringLiteral(".lock"));
    if (!fileLock.tryLock(kLockWaitMs)) {
        if (fileLock.error() == QLockFile::LockFailedError)
            throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                     " stays locked by another program; the change is not saved");
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                 " cannot be written: no lock file can be made beside it");
    }
    Refresh(true, message.Text);
    refuseUnreadable();
    if (Blocked)
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                 " is damaged; no change is saved until it is repaired or removed");
    RegistryKey copy = Root;
    if (!change(copy)) return false;
    if (!Save(copy, error))
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                 " cannot be written: " + Utf8(error));
    Root = std::move(copy);
    return true;
}

void RegistryStore::Import(const QString &exportFile) {
    const FileContents file = ReadFile(exportFile);
    if (file.State != FileState::Read)
        throw ERegistryException("The file " + Utf8(QDir::toNativeSeparators(exportFile)) +
                                 " cannot be read" +
                                 (file.Error.isEmpty() ? std::string() : ": " + Utf8(file.Error)));
    RegistryKey probe;
    const QStringList problems = RegFileFormat::Apply(file.Bytes, probe);
    if (!problems.isEmpty())
        throw ERegistryException("The file " + Utf8(QDir::toNativeSeparators(exportFile)) +
                                 " is not imported: " + Utf8(Summary(problems)));
    Modify([&](RegistryKey &root) {
        RegFileFormat::Apply(file.Bytes, root);
        return true;
    });
}

}  // namespace kivra
