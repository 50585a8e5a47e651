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

constexpr int kLockWaitMs = 10000;       // a change waits this long for another copy's change
constexpr int kRecoverLockWaitMs = 2000; // a read that found damage waits less, and retries later
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
    QString text;
    ~PendingMessage() {
        if (!text.isEmpty())
            ApplicationMessageBox(Utf8(text), "Kivrawatch", MB_OK | MB_ICONWARNING);
    }
};

}  // namespace

RegistryStore::RegistryStore(const QString &filePath) : path_(filePath) {}

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
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = filePath;
    root_ = RegistryKey();
    loaded_ = false;
    known_.reset();
    blocked_ = false;
    blockedFile_ = FileContents();
}

QString RegistryStore::FilePath() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

RegistryStore::FileContents RegistryStore::ReadFile(const QString &path) {
    FileContents c;
    const QFileInfo info(path);
    if (!info.exists()) return c;
    c.state = FileState::Unreadable;
    if (info.isDir()) {
        c.error = QStringLiteral("it is a folder");
        return c;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (!QFile::exists(path)) return FileContents();  // removed meanwhile
        c.error = f.errorString();
        return c;
    }
    c.bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        c.error = f.errorString();
        c.bytes.clear();
        return c;
    }
    c.state = FileState::Read;
    return c;
}

void RegistryStore::Read(const std::function<void(const RegistryKey &)> &reader) {
    PendingMessage message;
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh(false, message.text);
    reader(root_);
}

void RegistryStore::Refresh(bool haveFileLock, QString &message) {
    const FileContents file = ReadFile(path_);
    if (file.state == FileState::Missing) {
        if (!loaded_ || known_) root_ = RegistryKey();
        loaded_ = true;
        known_.reset();
        blocked_ = false;
        return;
    }
    if (file.state == FileState::Read && loaded_ && known_ && *known_ == file.bytes) return;
    const bool toldAlready =
        blocked_ && file.state == blockedFile_.state && file.bytes == blockedFile_.bytes;
    if (toldAlready && !haveFileLock) return;  // a change tries to move it aside again

    RegistryKey fresh;
    QStringList problems;
    if (file.state == FileState::Read) problems = RegFileFormat::Apply(file.bytes, fresh);
    else problems << file.error;
    if (problems.isEmpty()) {
        root_ = std::move(fresh);
        loaded_ = true;
        known_ = file.bytes;
        blocked_ = false;
        return;
    }
    if (!haveFileLock) {
        // Moving the file aside must not race another copy's write: under the lock, look again.
        // A lock that cannot even be made means no copy can write here: nothing to race.
        QString folderError;
        EnsureFolder(folderError);
        QLockFile lock(path_ + QStringLiteral(".lock"));
        if (lock.tryLock(kRecoverLockWaitMs)) {
            Refresh(true, message);
            return;
        }
        if (lock.error() == QLockFile::LockFailedError) {
            root_ = std::move(fresh);  // go on with what could be read; handled at the next look
            loaded_ = true;
            known_.reset();
            return;
        }
    }
    QString news;
    KeepAside(fresh, file, problems, news);
    if (!(toldAlready && blocked_)) message = news;
}

void RegistryStore::KeepAside(const RegistryKey &recovered, const FileContents &contents,
                              const QStringList &problems, QString &message) {
    root_ = recovered;
    loaded_ = true;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path_ + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path_ + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    const QString cause = contents.state == FileState::Read
                              ? QStringLiteral("damaged: %1").arg(Summary(problems))
                              : QStringLiteral("unreadable: %1").arg(Summary(problems));
    if (!QFile::rename(path_, aside)) {
        blocked_ = true;
        blockedFile_ = contents;
        known_.reset();
        message = QStringLiteral(
                      "The settings file %1 is %2.\nIt could not be moved aside either, so "
                      "Kivrawatch goes on with the settings it could read and saves no setting "
                      "while the file stays where it is.")
                      .arg(QDir::toNativeSeparators(path_), cause);
        return;
    }
    blocked_ = false;
    QString saveError;
    if (!Save(root_, saveError)) known_.reset();
    message = QStringLiteral(
                  "The settings file %1 is %2.\nIt has been kept as %3, and Kivrawatch goes on "
                  "with the settings it could read.")
                  .arg(QDir::toNativeSeparators(path_), cause, QDir::toNativeSeparators(aside));
}

bool RegistryStore::EnsureFolder(QString &error) const {
    const QFileInfo info(path_);
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
    QSaveFile f(path_);
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
    known_ = bytes;
    return true;
}

bool RegistryStore::Modify(const std::function<bool(RegistryKey &)> &change) {
    PendingMessage message;
    std::lock_guard<std::mutex> lock(mutex_);
    QString error;
    if (!EnsureFolder(error))
        throw ERegistryException("The settings cannot be saved: " + Utf8(error));
    QLockFile fileLock(path_ + QStringLiteral(".lock"));
    if (!fileLock.tryLock(kLockWaitMs)) {
        if (fileLock.error() == QLockFile::LockFailedError)
            throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(path_)) +
                                     " stays locked by another program; the change is not saved");
        Refresh(false, message.text);  // still report a damaged file
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(path_)) +
                                 " cannot be written: no lock file can be made beside it");
    }
    Refresh(true, message.text);
    if (blocked_)
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(path_)) +
                                 " is damaged; no change is saved until it is repaired or removed");
    RegistryKey copy = root_;
    if (!change(copy)) return false;
    if (!Save(copy, error))
        throw ERegistryException("The settings file " + Utf8(QDir::toNativeSeparators(path_)) +
                                 " cannot be written: " + Utf8(error));
    root_ = std::move(copy);
    return true;
}

void RegistryStore::Import(const QString &exportFile) {
    const FileContents file = ReadFile(exportFile);
    if (file.state != FileState::Read)
        throw ERegistryException("The file " + Utf8(QDir::toNativeSeparators(exportFile)) +
                                 " cannot be read" +
                                 (file.error.isEmpty() ? std::string() : ": " + Utf8(file.error)));
    RegistryKey probe;
    const QStringList problems = RegFileFormat::Apply(file.bytes, probe);
    if (!problems.isEmpty())
        throw ERegistryException("The file " + Utf8(QDir::toNativeSeparators(exportFile)) +
                                 " is not imported: " + Utf8(Summary(problems)));
    Modify([&](RegistryKey &root) {
        RegFileFormat::Apply(file.bytes, root);
        return true;
    });
}

}  // namespace kivra
