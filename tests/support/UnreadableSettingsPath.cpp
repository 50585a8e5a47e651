#include "UnreadableSettingsPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

QByteArray Native(const QString &path) { return QFile::encodeName(path); }

}  // namespace

std::vector<UnreadableSettingsPath::Kind> UnreadableSettingsPath::AllKinds() {
    return {Folder, Fifo, Device, NoPermission};
}

std::string UnreadableSettingsPath::KindName(Kind kind) {
    switch (kind) {
    case Folder: return "Folder";
    case Fifo: return "Fifo";
    case Device: return "Device";
    case NoPermission: return "NoPermission";
    }
    return "";
}

UnreadableSettingsPath::UnreadableSettingsPath(Kind kind, QString path)
    : What(kind), Path(std::move(path)) {
    const QByteArray name = Native(Path);
    int rc = 0;
    switch (kind) {
    case Folder: rc = ::mkdir(name.constData(), 0700); break;
    case Fifo: rc = ::mkfifo(name.constData(), 0600); break;
    case Device: rc = ::symlink("/dev/null", name.constData()); break;
    case NoPermission: {
        Bytes =
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n"
            "\"kept.example\"=\"\"\n\n";
        QFile f(Path);
        if (!f.open(QIODevice::WriteOnly) || f.write(Bytes) != Bytes.size()) {
            Problem = QStringLiteral("cannot write %1").arg(Path);
            return;
        }
        f.close();
        rc = ::chmod(name.constData(), ::geteuid() == 0 ? 0600 : 0);
        // Root's case: the folder is the reader's, the file is not.
        if (rc == 0 && ::geteuid() == 0)
            rc = ::chown(Native(QFileInfo(Path).absolutePath()).constData(), kNobody,
                         static_cast<gid_t>(-1));
        break;
    }
    }
    struct stat st {};
    if (rc != 0 || !Status(st)) {
        Problem = QStringLiteral("cannot make %1: %2")
                      .arg(Path, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    Filesystem = st.st_dev;
    Inode = st.st_ino;
    Mode = st.st_mode;
    Owner = st.st_uid;
}

UnreadableSettingsPath::~UnreadableSettingsPath() {
    // The temporary folder must be removable whoever owns what.
    if (What == NoPermission) ::chmod(Native(Path).constData(), 0600);
}

bool UnreadableSettingsPath::Status(struct stat &st) const {
    return ::lstat(Native(Path).constData(), &st) == 0;
}

bool UnreadableSettingsPath::DeniesThisProcess() const {
    if (!Made()) return false;
    if (What != NoPermission) return true;
    const int fd = ::open(Native(Path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) ::close(fd);
    return fd < 0;
}

std::string UnreadableSettingsPath::Reason() const {
    switch (What) {
    case Folder: return "it is a folder";
    case Fifo: return "it is a named pipe (FIFO), not a file";
    case Device: return "it is a device, not a file";
    case NoPermission: return "reading it is not permitted";
    }
    return std::string();
}

bool UnreadableSettingsPath::Unchanged() const {
    struct stat st {};
    if (!Made() || !Status(st) || st.st_dev != Filesystem || st.st_ino != Inode ||
        st.st_mode != Mode || st.st_uid != Owner)
        return false;
    switch (What) {
    case Folder: return QDir(Path).isEmpty();
    case Fifo: return true;
    case Device: return QFileInfo(Path).symLinkTarget() == QStringLiteral("/dev/null");
    case NoPermission: {
        const bool closed = ::geteuid() != 0;
        if (closed) ::chmod(Native(Path).constData(), 0400);
        QFile f(Path);
        const bool same = f.open(QIODevice::ReadOnly) && f.readAll() == Bytes;
        if (closed) ::chmod(Native(Path).constData(), 0);
        return same;
    }
    }
    return false;
}

bool UnreadableSettingsPath::AloneInItsFolder() const {
    const QFileInfo info(Path);
    const QStringList entries = QDir(info.absolutePath())
                                    .entryList({info.fileName() + QStringLiteral("*")},
                                               QDir::AllEntries | QDir::Hidden | QDir::System);
    return entries == QStringList{info.fileName()};
}

void UnreadableSettingsPath::Remove() {
    const QByteArray name = Native(Path);
    if (What == Folder)
        ::rmdir(name.constData());
    else
        ::unlink(name.constData());
}

bool UnreadableSettingsPath::RunAsReader(QStringList &prefix) {
    prefix.clear();
    if (::geteuid() != 0) return true;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) return false;
    prefix << setpriv << QStringLiteral("--reuid=%1").arg(kNobody)
           << QStringLiteral("--regid=%1").arg(kNobody) << QStringLiteral("--clear-groups")
           << QStringLiteral("--");
    return true;
}
