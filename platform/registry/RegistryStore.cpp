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
    BlockedFile = FileContents();
}

QString RegistryStore::FilePath() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Path;
}

RegistryStore::FileContents RegistryStore::ReadFile(const QString &path) {
    FileContents c;
    const QFileInfo info(path);
    if (!info.exists()) return c;
    c.State = FileState::Unreadable;
    if (info.isDir()) {
        c.Error = QStringLiteral("it is a folder");
        return c;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (!QFile::exists(path)) return FileContents();  // removed meanwhile
        c.Error = f.errorString();
        return c;
    }
    c.Bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        c.Error = f.errorString();
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
    if (file.State == FileState::Missing) {
        if (!Loaded || Known) Root = RegistryKey();
        Loaded = true;
        Known.reset();
        Blocked = false;
        return;
    }
    if (file.State == FileState::Read && Loaded && Known && *Known == file.Bytes) return;
    const bool toldAlready = Blocked && file.State == BlockedFile.State &&
                             file.Bytes == BlockedFile.Bytes;
    if (toldAlready && !haveFileLock) return;  // a change tries to move it aside again

    RegistryKey fresh;
    QStringList problems;
    if (file.State == FileState::Read)
        problems = RegFileFormat::Apply(file.Bytes, fresh);
    else
        problems << file.Error;
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
    KeepAside(fresh, file, problems, news);
    if (!(toldAlready && Blocked)) message = news;
}

void RegistryStore::KeepAside(const RegistryKey &recovered, const FileContents &contents,
                              const QStringList &problems, QString &message) {
    Root = recovered;
    Loaded = true;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = Path + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = Path + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    const QString cause = contents.State == FileState::Read
                              ? QStringLiteral("damaged: %1").arg(Summary(problems))
                              : QStringLiteral("unreadable: %1").arg(Summary(problems));
    if (!QFile::rename(Path, aside)) {
        Blocked = true;
        BlockedFile = contents;
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
    QString error;
    if (!EnsureFolder(error))
        throw ERegistryException("The settings cannot be saved: " + Utf8(error));
    QLockFile fileLock(Path + QStringLiteral(".lock"));
    if (!fileLock.tryLock(kLockWaitMs)) {
        if (fileLock.error() == QLockFile::LockFailedError)
            throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                     " stays locked by another program; the change is not saved");
        Refresh(false, message.Text);  // still report a damaged file
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(Path)) +
                                 " cannot be written: no lock file can be made beside it");
    }
    Refresh(true, message.Text);
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
