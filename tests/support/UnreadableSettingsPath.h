#pragma once
// A settings path that cannot be read, of one kind, made for one test: a folder, a FIFO, a device
// (a link to /dev/null), or another user's file. Says what the program is to tell of it and
// whether it is still exactly as made, so a test sees that nothing renamed, replaced or wrote it.
//
// NoPermission: for a test not run as root, a file of its own with no rights at all. Root reads
// any file, so for root the file stays root's (0600) in a folder handed to "nobody": a program
// run as nobody (RunAsReader()) may not read it but could rename it, which is what must not
// happen. The file holds a valid settings file (Bytes) naming the known server "kept.example".

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

class UnreadableSettingsPath {
public:
    enum Kind { Folder, Fifo, Device, NoPermission };
    static std::vector<Kind> AllKinds();
    static std::string KindName(Kind kind);  // "Folder", ...: a test's name
    // Why a test of this process skips NoPermission (see above).
    static constexpr const char *kRootReadsAnyFile =
        "root reads any file: the program's own test runs it as another user";

    // Makes path (which does not exist yet) of that kind.
    UnreadableSettingsPath(Kind kind, QString path);
    ~UnreadableSettingsPath();
    UnreadableSettingsPath(const UnreadableSettingsPath &) = delete;
    UnreadableSettingsPath &operator=(const UnreadableSettingsPath &) = delete;

    // False when it could not be made here (Problem says why).
    bool Made() const { return Problem.isEmpty(); }
    // This process cannot read it (false for root's NoPermission: see above).
    bool DeniesThisProcess() const;
    // What the program's message says of it ("it is a folder", ...).
    std::string Reason() const;
    // Still there, of its kind, the same inode, mode and owner, for the file the same bytes.
    bool Unchanged() const;
    // Nothing else in its folder begins with its name: no copy kept aside, no lock or temporary
    // file beside it.
    bool AloneInItsFolder() const;
    // Removes it, so that a readable file can take its place.
    void Remove();

    // The command prefix that runs a program as a user who cannot read a NoPermission file:
    // setpriv as nobody for root, nothing otherwise; false when root has no setpriv.
    static bool RunAsReader(QStringList &prefix);

    const Kind What;
    const QString Path;
    QString Problem;
    QByteArray Bytes;  // NoPermission: what the file holds

private:
    bool Status(struct stat &st) const;
    dev_t Filesystem = 0;
    ino_t Inode = 0;
    unsigned Mode = 0;
    uid_t Owner = 0;
};
