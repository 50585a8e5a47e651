#pragma once
// The file behind TRegistry: the current user's settings tree, kept in one export-format file
// (RegFileFormat) in the user's configuration folder.
//
// Where the file is: RegistryStore::SetFilePath(path) when called (tests point the store at a
// temporary folder with it), else the environment variable KIVRA_REGISTRY_FILE when set, else
// <configuration folder>/Kivrawatch/settings.reg (QStandardPaths::GenericConfigLocation).
//
// Nothing is lost:
// - Every change is a read-modify-write under a QLockFile ("<file>.lock"), re-reading the file
//   first, so two running copies of the program keep each other's changes; the file is written to
//   a temporary file and renamed over the old one (QSaveFile), readable and writable by its owner
//   only (0600).
// - Every read first looks whether the file changed on disk (another copy wrote it) and re-reads it.
// - A file that was read and found damaged (RegFileFormat's faults, a file cut short among them) is
//   never overwritten: it is renamed to "<file>.damaged-<date>-<time>", the user is told once
//   through kivra::ApplicationMessageBox, and the store goes on with what could be read (written
//   as the new file). When the damaged file cannot be moved aside either, nothing is saved: every
//   change tries again to move it aside and raises ERegistryException while that fails.
// - A path that cannot be read (no permission, a folder, a FIFO, a device, anything but a regular
//   file) is left exactly as it is: never renamed, replaced or written, and no lock file is made
//   beside it. The user is told once which path and why; the store goes on with the defaults (or,
//   when it becomes unreadable while running, with what it read before), and every change raises
//   ERegistryException saying so while the path stays unreadable. Nothing blocks on such a path:
//   only a regular file is opened, and without waiting (O_NONBLOCK).
//
// Thread-safe: one mutex guards the tree; the message box is shown on the calling thread after the
// mutex and the file lock are released. Readers and changes must not call back into the store.

#include <QByteArray>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>

#include "RegistryKey.h"

namespace kivra {

class RegistryStore {
public:
    explicit RegistryStore(const QString &filePath);

    // The store TRegistry uses.
    static RegistryStore &Instance();
    // Points Instance() at another file (an empty path: the default again). For tests and the demo;
    // call it while no TRegistry is in use.
    static void SetFilePath(const QString &filePath);
    static QString DefaultFilePath();

    QString FilePath() const;

    // Runs reader on the current tree (root's subkeys are the hives, "HKEY_CURRENT_USER", ...).
    void Read(const std::function<void(const RegistryKey &root)> &reader);

    // Runs change on a copy of the freshly read tree; when it returns true the copy is saved and
    // becomes the tree. Returns what change returned. Raises ERegistryException (and keeps the old
    // tree) when the file cannot be locked or saved.
    bool Modify(const std::function<bool(RegistryKey &root)> &change);

    // Merges an export file (as written on Windows or by this store) into the tree: its keys and
    // values are set, its deletions applied. A file with any fault is not imported at all: raises
    // ERegistryException naming the faults.
    void Import(const QString &exportFile);

private:
    enum class FileState { Missing, Read, Unreadable };
    struct FileContents {
        FileState State = FileState::Missing;
        QByteArray Bytes;
        QString Error;
    };

    static FileContents ReadFile(const QString &path);
    void ResetTo(const QString &filePath);
    void Refresh(bool haveFileLock, QString &message);
    void KeepAside(const RegistryKey &recovered, const QByteArray &bytes,
                   const QStringList &problems, QString &message);
    void LeaveUnreadable(const QString &why, QString &message);
    bool Save(const RegistryKey &tree, QString &error);
    bool EnsureFolder(QString &error) const;

    mutable std::mutex Mutex;
    QString Path;
    RegistryKey Root;
    bool Loaded = false;
    std::optional<QByteArray> Known;  // the file as last read or written; empty: no file
    bool Blocked = false;             // a damaged file that could not be moved aside
    QByteArray BlockedBytes;          // what that file held
    QString CannotRead;               // why the path cannot be read; empty while it can
};

}  // namespace kivra
