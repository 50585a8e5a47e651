// The settings file itself: where changes go, who may read it, other running copies, damaged
// files and files exported on Windows.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include "ERegistryException.h"
#include "RegFileFormat.h"
#include "RegistryStore.h"
#include "TRegistry.h"
#include "TempRegistryFile.h"
#include "UnreadableSettingsPath.h"

#include <functional>

using kivra::RegFileFormat;
using kivra::RegistryKey;
using kivra::RegistryStore;

namespace {

const std::string kTest = "\\Software\\Vornix\\Test";
const QString kFixture = KIVRA_SOURCE_DIR "/tests/fixtures/registry-windows-export.reg";

unsigned Mode(const QString &path) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

void Write(const std::string &key, const std::string &name, int value) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteInteger(name, value);
}

// The value, or -1 when missing.
int Read(const std::string &key, const std::string &name) {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKeyReadOnly(key) || !reg.ValueExists(name)) return -1;
    return reg.ReadInteger(name);
}

QStringList Damaged(const TempRegistryFile &file) {
    return QDir(file.Folder()).entryList({"settings.reg.damaged-*"}, QDir::Files | QDir::Dirs);
}

class RegistryStoreTest : public ::testing::Test {
protected:
    TempRegistryFile file;
};

TEST_F(RegistryStoreTest, TheFileIsForItsOwnerOnly) {
    Write(kTest, "a", 1);
    EXPECT_EQ(Mode(file.Path()), 0600u);
    // A file copied in with wider rights is narrowed at the next change.
    ASSERT_TRUE(
        QFile::setPermissions(file.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadGroup | QFileDevice::ReadOther));
    Write(kTest, "b", 2);
    EXPECT_EQ(Mode(file.Path()), 0600u);
    EXPECT_TRUE(
        QDir(file.Folder()).entryList({"settings.reg?*"}, QDir::Files).filter(".tmp").isEmpty());
}

TEST_F(RegistryStoreTest, AMissingFolderIsMadeForTheOwner) {
    const QString nested = file.Folder() + "/config/Kivrawatch/settings.reg";
    RegistryStore::SetFilePath(nested);
    Write(kTest, "a", 1);
    EXPECT_EQ(Mode(nested), 0600u);
    EXPECT_EQ(Mode(file.Folder() + "/config/Kivrawatch"), 0700u);
}

TEST_F(RegistryStoreTest, AFileThatCannotBeWrittenRaisesAndKeepsNothing) {
    // The folder's place is taken by a plain file, so nothing can be saved.
    QFile blocker(file.Folder() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistryStore::SetFilePath(blocker.fileName() + "/settings.reg");
    TRegistry reg;
    EXPECT_THROW(reg.OpenKey(kTest, true), ERegistryException);  // a lost save is said
    EXPECT_TRUE(reg.OpenKey("\\", false));
    EXPECT_THROW(reg.WriteInteger("a", 1), ERegistryException);
    EXPECT_FALSE(reg.ValueExists("a"));
}

TEST_F(RegistryStoreTest, ChangesReachTheFileAtOnce) {
    Write(kTest, "RefreshInterval", 7);
    RegistryKey root;
    ASSERT_TRUE(RegFileFormat::Apply(file.Contents(), root).isEmpty());
    const RegistryKey *key = root.Find({"HKEY_CURRENT_USER", "Software", "Vornix", "Test"});
    ASSERT_NE(key, nullptr);
    ASSERT_NE(key->FindValue("RefreshInterval"), nullptr);
    EXPECT_TRUE(file.Contents().contains("\"RefreshInterval\"=dword:00000007\n"));
}

TEST_F(RegistryStoreTest, AnotherCopysChangesAreSeenAndKept) {
    // Two stores on one file stand for two running copies of the program.
    RegistryStore a(file.Path());
    RegistryStore b(file.Path());
    auto set = [](RegistryStore &s, const QString &name, int v) {
        s.Modify([&](RegistryKey &root) {
            return root.FindOrCreate({"HKEY_CURRENT_USER", "T"})
                .SetValue(name, kivra::RegType::Dword,
                          QByteArray(reinterpret_cast<const char *>(&v), 4));
        });
    };
    auto names = [](RegistryStore &s) {
        QStringList out;
        s.Read([&](const RegistryKey &root) {
            if (const RegistryKey *k = root.Find({"HKEY_CURRENT_USER", "T"}))
                for (const auto &v : k->Values) out << v.Name;
        });
        return out;
    };
    set(a, "x", 1);
    EXPECT_EQ(names(b), QStringList({"x"}));
    set(b, "y", 2);
    set(a, "z", 3);  // a has not read since b wrote
    EXPECT_EQ(names(a), QStringList({"x", "y", "z"}));
    EXPECT_EQ(names(b), QStringList({"x", "y", "z"}));
    b.Modify([](RegistryKey &root) {
        return root.Find({"HKEY_CURRENT_USER", "T"})->DeleteValue("x");
    });
    EXPECT_EQ(names(a), QStringList({"y", "z"}));
    RegistryStore c(file.Path());
    EXPECT_EQ(names(c), QStringList({"y", "z"}));
}

TEST_F(RegistryStoreTest, RunningCopiesWritingAtOnceLoseNothing) {
    constexpr int kPerWriter = 25;
    const QStringList prefixes = {"p", "q", "r"};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KIVRA_REGISTRY_FILE", file.Path());
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString &prefix : prefixes) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(REGISTRY_WRITER, {QString::number(kPerWriter), prefix});
        writers.push_back(std::move(p));
    }
    for (int i = 0; i < kPerWriter; ++i) Write(kTest, "main" + std::to_string(i), i);
    for (auto &p : writers) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    file.Reload();
    for (const QString &prefix : prefixes + QStringList{"main"})
        for (int i = 0; i < kPerWriter; ++i)
            EXPECT_EQ(Read(kTest, prefix.toStdString() + std::to_string(i)), i)
                << prefix.toStdString() << i;
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kTest));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_EQ(names.size(), static_cast<size_t>(kPerWriter * 4));
}

TEST_F(RegistryStoreTest, ADamagedFileIsKeptAsideWithOneMessage) {
    const QByteArray damaged =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Test]\n"
        "\"Good\"=dword:00000005\n"
        "\"Broken\"=hex:01,zz\n"
        "this line is torn off in the midd\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Other]\n"
        "\"Kept\"=\"yes\"\n";
    file.WriteContents(damaged);
    EXPECT_EQ(Read(kTest, "Good"), 5);
    EXPECT_EQ(Read(kTest, "Broken"), -1);
    ASSERT_EQ(file.Messages().size(), 1u);
    EXPECT_NE(file.Messages()[0].find("Kivrawatch: "), std::string::npos);
    EXPECT_NE(file.Messages()[0].find("settings.reg.damaged-"), std::string::npos)
        << file.Messages()[0];
    EXPECT_NE(file.Messages()[0].find("line 5"), std::string::npos) << file.Messages()[0];

    const QStringList aside = Damaged(file);
    ASSERT_EQ(aside.size(), 1);
    QFile kept(file.Folder() + "/" + aside[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damaged);

    // What could be read is the new file; it is clean, so nothing more is reported.
    RegistryKey root;
    EXPECT_TRUE(RegFileFormat::Apply(file.Contents(), root).isEmpty());
    Write(kTest, "New", 1);
    TRegistry reg(KEY_READ);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Vornix\\Other"));
    EXPECT_EQ(reg.ReadString("Kept"), "yes");
    file.Reload();
    EXPECT_EQ(Read(kTest, "Good"), 5);
    EXPECT_EQ(Read(kTest, "New"), 1);
    EXPECT_EQ(file.Messages().size(), 1u);
    EXPECT_EQ(Damaged(file).size(), 1);
}

TEST_F(RegistryStoreTest, AFileDamagedWhileRunningIsKeptAsideToo) {
    Write(kTest, "a", 1);
    file.WriteContents(file.Contents() + "\"loose\"=\n");
    Write(kTest, "b", 2);  // the change finds the damage first
    EXPECT_EQ(file.Messages().size(), 1u);
    EXPECT_EQ(Damaged(file).size(), 1);
    EXPECT_EQ(Read(kTest, "a"), 1);
    EXPECT_EQ(Read(kTest, "b"), 2);
}

// A file cut off in the middle of a long binary value, at the points where the cut shows, is
// damage like any other: one message, the cut file kept aside, what comes before the cut read.
TEST(RegistryStoreCut, AFileCutShortIsKeptAsideAsDamaged) {
    QByteArray whole;
    {
        TempRegistryFile written;
        Write(kTest, "Good", 5);
        const std::string password(200, 'p');
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kTest, false));
        reg.WriteBinaryData("Password", password.data(), static_cast<int>(password.size()));
        whole = written.Contents();
    }
    const qsizetype lineEnd = whole.indexOf(",\\\n  ");
    ASSERT_GT(lineEnd, 0);
    const struct {
        const char *what;
        qsizetype length;
    } cuts[] = {
        {"after a continued line's line break", lineEnd + 3},
        {"before a continued line's line break", lineEnd + 2},
        {"half-way through a byte", lineEnd + 6},
    };
    for (const auto &cut : cuts) {
        SCOPED_TRACE(cut.what);
        TempRegistryFile file;
        const QByteArray cutShort = whole.left(cut.length);
        file.SetContents(cutShort);
        EXPECT_EQ(Read(kTest, "Good"), 5);
        ASSERT_EQ(file.Messages().size(), 1u);
        EXPECT_NE(file.Messages()[0].find("cut short"), std::string::npos) << file.Messages()[0];
        EXPECT_NE(file.Messages()[0].find(".damaged-"), std::string::npos) << file.Messages()[0];
        EXPECT_EQ(file.KeptAside(), QByteArrayList{cutShort});
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKeyReadOnly(kTest));
        EXPECT_FALSE(reg.ValueExists("Password"));
    }
}

// A path that cannot be read is left exactly as it is, whatever the kind: one message naming it
// and why, the defaults, every save refused with the reason; once a readable file takes its
// place, it is read and saved to as usual.
class UnreadablePathTest : public ::testing::TestWithParam<UnreadableSettingsPath::Kind> {
protected:
    TempRegistryFile file;
};

TEST_P(UnreadablePathTest, IsLeftAsItIsAndTheSavesSaySo) {
    UnreadableSettingsPath path(GetParam(), file.Path());
    ASSERT_TRUE(path.Made()) << path.Problem.toStdString();
    if (!path.DeniesThisProcess()) GTEST_SKIP() << UnreadableSettingsPath::kRootReadsAnyFile;
    file.Reload();
    EXPECT_EQ(Read(kTest, "a"), -1);
    EXPECT_EQ(Read(kTest, "a"), -1);
    ASSERT_EQ(file.Messages().size(), 1u);
    const std::string box = file.Messages()[0];
    EXPECT_NE(box.find(file.Path().toStdString()), std::string::npos) << box;
    EXPECT_NE(box.find(path.Reason()), std::string::npos) << box;
    EXPECT_NE(box.find("default settings"), std::string::npos) << box;

    TRegistry reg;
    for (const std::function<void()> &save : std::vector<std::function<void()>>{
             [&] { reg.OpenKey(kTest, true); },
             [&] {
                 ASSERT_TRUE(reg.OpenKey("\\", false));
                 reg.WriteInteger("a", 1);
             },
         }) {
        try {
            save();
            ADD_FAILURE() << "a save that cannot be done raised nothing";
        } catch (const ERegistryException &e) {
            EXPECT_NE(e.Message.find(file.Path().toStdString()), std::string::npos) << e.Message;
            EXPECT_NE(e.Message.find(path.Reason()), std::string::npos) << e.Message;
        }
    }
    EXPECT_EQ(file.Messages().size(), 1u);
    EXPECT_TRUE(path.Unchanged());
    EXPECT_TRUE(path.AloneInItsFolder());

    path.Remove();
    file.WriteContents(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Vornix\\Test]\n"
        "\"a\"=dword:00000003\n");
    EXPECT_EQ(Read(kTest, "a"), 3);
    Write(kTest, "b", 4);
    EXPECT_EQ(Read(kTest, "b"), 4);
    EXPECT_EQ(file.Messages().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadablePathTest,
                         ::testing::ValuesIn(UnreadableSettingsPath::AllKinds()),
                         [](const auto &info) {
                             return UnreadableSettingsPath::KindName(info.param);
                         });

TEST_F(RegistryStoreTest, AFileThatTurnsUnreadableKeepsWhatWasRead) {
    Write(kTest, "a", 1);
    ASSERT_TRUE(QFile::remove(file.Path()));
    UnreadableSettingsPath fifo(UnreadableSettingsPath::Fifo, file.Path());
    ASSERT_TRUE(fifo.Made()) << fifo.Problem.toStdString();
    EXPECT_EQ(Read(kTest, "a"), 1);
    ASSERT_EQ(file.Messages().size(), 1u);
    EXPECT_NE(file.Messages()[0].find("the settings it read before"), std::string::npos)
        << file.Messages()[0];
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kTest, false));
    EXPECT_THROW(reg.WriteInteger("a", 2), ERegistryException);
    EXPECT_EQ(Read(kTest, "a"), 1);
    EXPECT_TRUE(fifo.Unchanged());
    EXPECT_TRUE(fifo.AloneInItsFolder());
    EXPECT_EQ(file.Messages().size(), 1u);
}

// Freezes a folder while it lives, so nothing in it can be created, renamed or replaced: with the
// immutable flag (which holds even for root) or, failing that, by taking away the write right.
// Holds() tells whether a probe file indeed cannot be made.
class FrozenFolder {
public:
    explicit FrozenFolder(const QString &path)
        : Path(path), Fd(::open(path.toLocal8Bit().constData(), O_RDONLY)) {
        Immutable = Fd >= 0 && SetImmutable(true);
        if (!Immutable) ReadOnly = ::chmod(path.toLocal8Bit().constData(), 0555) == 0;
        QFile probe(path + "/probe");
        ProbeRefused = (Immutable || ReadOnly) && !probe.open(QIODevice::WriteOnly);
        if (!ProbeRefused) probe.remove();
    }
    ~FrozenFolder() {
        Release();
        if (Fd >= 0) ::close(Fd);
    }
    bool Holds() const { return ProbeRefused; }
    void Release() {
        if (Immutable) SetImmutable(false);
        if (ReadOnly) ::chmod(Path.toLocal8Bit().constData(), 0700);
        Immutable = ReadOnly = false;
    }

private:
    bool SetImmutable(bool on) {
        int flags = 0;
        if (::ioctl(Fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        return ::ioctl(Fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    QString Path;
    int Fd;
    bool Immutable = false;
    bool ReadOnly = false;
    bool ProbeRefused = false;
};

TEST_F(RegistryStoreTest, ADamagedFileThatCannotBeMovedAsideIsNeverOverwritten) {
    const QByteArray damaged =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vornix\\Test]\n"
        "\"Good\"=dword:00000005\n\"Torn\"=dwo\n";
    file.WriteContents(damaged);
    FrozenFolder frozen(file.Folder());
    if (!frozen.Holds()) GTEST_SKIP() << "the folder cannot be frozen here";
    EXPECT_EQ(Read(kTest, "Good"), 5);
    ASSERT_EQ(file.Messages().size(), 1u);
    EXPECT_NE(file.Messages()[0].find("could not be moved aside"), std::string::npos)
        << file.Messages()[0];
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kTest, false));
    EXPECT_THROW(reg.WriteInteger("New", 1), ERegistryException);
    EXPECT_THROW(reg.WriteInteger("Good", 6), ERegistryException);
    EXPECT_FALSE(reg.DeleteValue("Good"));
    EXPECT_EQ(Read(kTest, "Good"), 5);
    EXPECT_EQ(file.Contents(), damaged);
    EXPECT_EQ(file.Messages().size(), 1u);

    // Once the folder can be changed again, the next change moves the file aside and is saved.
    frozen.Release();
    reg.WriteInteger("New", 1);
    EXPECT_EQ(Read(kTest, "New"), 1);
    EXPECT_EQ(Read(kTest, "Good"), 5);
    EXPECT_EQ(Damaged(file).size(), 1);
    EXPECT_EQ(file.Messages().size(), 2u);  // now it says where the file was kept
}

TEST_F(RegistryStoreTest, AnEmptyFileIsAnEmptyStore) {
    file.WriteContents("");
    EXPECT_EQ(Read(kTest, "a"), -1);
    Write(kTest, "a", 1);
    EXPECT_TRUE(file.Messages().empty());
    EXPECT_TRUE(Damaged(file).isEmpty());
}

TEST_F(RegistryStoreTest, AWindowsExportServesAsTheSettingsFile) {
    ASSERT_TRUE(QFile::copy(kFixture, file.Path()));
    {
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Vornix\\Kivrawatch"));
        EXPECT_EQ(reg.ReadInteger("RefreshInterval"), 10);
        EXPECT_TRUE(reg.ReadBool("EmailAlerts"));
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Vornix\\Kivrawatch\\Logging"));
        EXPECT_EQ(reg.GetDataType("LoggingDirectory"), rdExpandString);
        EXPECT_EQ(reg.ReadString("LoggingDirectory"),
                  "%USERPROFILE%\\Documents\\Kivrawatch Logs\\\xC3\x9C"
                  "berwachung");
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\SOFTWARE\\Vornix\\Kivrawatch\\Alerts"));
        EXPECT_EQ(reg.ReadString("SMTPUser"), "C:\\Users\\dba \"night\"");
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Vornix\\Servers\\"));
        EXPECT_EQ(reg.ReadString("Default Server"), "DBHOST01\\SALES");
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Vornix\\Servers\\List Of Servers"));
        std::vector<std::string> names;
        reg.GetValueNames(names);
        EXPECT_EQ(names, (std::vector<std::string>{"DBHOST01\\SALES", "dbhost02"}));
        ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Vornix\\Servers\\DBHOST01\\SALES"));
        char password[128] = {};
        EXPECT_EQ(reg.ReadBinaryData("Password", password, sizeof password), 81);
        EXPECT_EQ(std::string(password, 9), "p\xe4ss-w0rd");
        EXPECT_EQ(reg.GetDataType("Notes"), rdUnknown);
        EXPECT_THROW(reg.ReadString("Notes"), ERegistryException);
        EXPECT_EQ(reg.ReadString(""), "default text");
    }
    // The first change rewrites the file in this store's own form; nothing of it is lost.
    const QByteArray before = file.Contents();
    Write("\\Software\\Vornix\\Servers\\DBHOST01\\SALES", "UseWindowsNT", 1);
    EXPECT_NE(file.Contents(), before);
    EXPECT_TRUE(file.Contents().startsWith("Windows Registry Editor Version 5.00\n"));
    RegistryKey original, rewritten;
    ASSERT_TRUE(RegFileFormat::Apply(before, original).isEmpty());
    ASSERT_TRUE(RegFileFormat::Apply(file.Contents(), rewritten).isEmpty());
    original
        .FindOrCreate({"HKEY_CURRENT_USER", "Software", "Vornix", "Servers", "DBHOST01", "SALES"})
        .SetValue("UseWindowsNT", kivra::RegType::Dword, QByteArray("\x01\x00\x00\x00", 4));
    EXPECT_EQ(RegFileFormat::Write(rewritten), RegFileFormat::Write(original));
    EXPECT_TRUE(file.Messages().empty());
}

TEST_F(RegistryStoreTest, ImportMergesAnExportFile) {
    Write("\\SOFTWARE\\Vornix\\Kivrawatch", "RefreshInterval", 3);
    Write("\\SOFTWARE\\Vornix\\Kivrawatch", "Mine", 8);
    RegistryStore::Instance().Import(kFixture);
    EXPECT_EQ(Read("\\SOFTWARE\\Vornix\\Kivrawatch", "RefreshInterval"), 10);
    EXPECT_EQ(Read("\\SOFTWARE\\Vornix\\Kivrawatch", "Mine"), 8);
    EXPECT_EQ(Read("\\Software\\Vornix\\Servers\\DBHOST01\\SALES", "UseWindowsNT"), 0);

    // A faulty file changes nothing.
    const QString bad = file.Folder() + "/bad.reg";
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n"
        "\"Mine\"=dword:00000009\n\"Torn\"=hex:0,zz\n");
    f.close();
    EXPECT_THROW(RegistryStore::Instance().Import(bad), ERegistryException);
    EXPECT_THROW(RegistryStore::Instance().Import(file.Folder() + "/missing.reg"),
                 ERegistryException);
    EXPECT_EQ(Read("\\SOFTWARE\\Vornix\\Kivrawatch", "Mine"), 8);
}

TEST_F(RegistryStoreTest, RewritingTheSameValueLeavesTheFileAlone) {
    Write(kTest, "a", 1);
    const QDateTime before = QFileInfo(file.Path()).lastModified();
    struct stat st1 {};
    ::stat(file.Path().toLocal8Bit().constData(), &st1);
    Write(kTest, "A", 1);
    struct stat st2 {};
    ::stat(file.Path().toLocal8Bit().constData(), &st2);
    EXPECT_EQ(st1.st_ino, st2.st_ino);  // not replaced
}

}  // namespace
