// The export-format reader and writer on their own: value lines, sections, faults, encodings and
// the writer's line layout.

#include <gtest/gtest.h>

#include <QFile>
#include <QStringEncoder>

#include "RegFileFormat.h"
#include "RegistryKey.h"

using kivra::RegFileFormat;
using kivra::RegistryKey;
namespace RegType = kivra::RegType;

namespace {

const QByteArray kHeader = "Windows Registry Editor Version 5.00\n\n";
const QStringList kKey = {"HKEY_CURRENT_USER", "Software", "Test"};

QByteArray Bytes(std::initializer_list<int> list) {
    QByteArray b;
    for (int v : list) b.append(static_cast<char>(v));
    return b;
}

QByteArray Utf16(const QString &s) { return RegFileFormat::TextToData(s); }

// Equality of whole trees, order of values and keys included.
void ExpectSameTree(const RegistryKey &a, const RegistryKey &b, const QString &where = {}) {
    SCOPED_TRACE(where.toStdString());
    EXPECT_EQ(a.Name, b.Name);
    ASSERT_EQ(a.Values.size(), b.Values.size());
    for (size_t i = 0; i < a.Values.size(); ++i) {
        EXPECT_EQ(a.Values[i].Name, b.Values[i].Name);
        EXPECT_EQ(a.Values[i].Type, b.Values[i].Type) << a.Values[i].Name.toStdString();
        EXPECT_EQ(a.Values[i].Data, b.Values[i].Data) << a.Values[i].Name.toStdString();
    }
    ASSERT_EQ(a.Subkeys.size(), b.Subkeys.size());
    for (size_t i = 0; i < a.Subkeys.size(); ++i)
        ExpectSameTree(a.Subkeys[i], b.Subkeys[i], where + "\\" + a.Subkeys[i].Name);
}

TEST(RegFileFormat, ValueLines) {
    struct Case {
        const char *line;
        bool ok;
        const char *name;
        quint32 type;
        QByteArray data;
    };
    const Case cases[] = {
        {R"("A"=dword:00000001)", true, "A", RegType::Dword, Bytes({1, 0, 0, 0})},
        {R"("A"=dword:ffffffff)", true, "A", RegType::Dword, Bytes({255, 255, 255, 255})},
        {R"("A"=DWORD:1f)", true, "A", RegType::Dword, Bytes({0x1f, 0, 0, 0})},
        {R"("A"=dword:123456789)", false, "", 0, {}},
        {R"("A"=dword:)", false, "", 0, {}},
        {R"("A"=dword:12g4)", false, "", 0, {}},
        {R"("A"=hex:)", true, "A", RegType::Binary, {}},
        {R"("A"=hex:0,1,ff)", true, "A", RegType::Binary, Bytes({0, 1, 255})},
        {R"("A"=hex: 0a , 0B ,)", true, "A", RegType::Binary, Bytes({10, 11})},
        {R"("A"=hex:100)", false, "", 0, {}},
        {R"("A"=hex:1g)", false, "", 0, {}},
        {R"("A"=hex(2):41,00,00,00)", true, "A", RegType::ExpandSz, Utf16("A")},
        {R"("A"=hex(b):01,00,00,00,00,00,00,00)", true, "A", RegType::Qword,
         Bytes({1, 0, 0, 0, 0, 0, 0, 0})},
        {R"("A"=hex(0):)", true, "A", RegType::None, {}},
        {R"("A"=hex(zz):01)", false, "", 0, {}},
        {R"("A"=hex(2)01)", false, "", 0, {}},
        {R"("A"="a\\b")", true, "A", RegType::Sz, Utf16("a\\b")},
        {R"("A"="say \"hi\"")", true, "A", RegType::Sz, Utf16("say \"hi\"")},
        {R"("A"="C:\Temp")", true, "A", RegType::Sz, Utf16("C:\\Temp")},  // typed by hand
        {R"("A"="")", true, "A", RegType::Sz, Utf16("")},
        {R"("A"="open)", false, "", 0, {}},
        {R"("A"="x" y)", false, "", 0, {}},
        {R"("A"=42)", false, "", 0, {}},
        {R"("A")", false, "", 0, {}},
        {R"("A)", false, "", 0, {}},
        {R"(@="default")", true, "", RegType::Sz, Utf16("default")},
        {R"("Server\\Inst" = "x")", true, "Server\\Inst", RegType::Sz, Utf16("x")},
        {R"("a\"b"="")", true, "a\"b", RegType::Sz, Utf16("")},
        {R"(garbage)", false, "", 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        RegistryKey root;
        const QStringList problems =
            RegFileFormat::Apply(kHeader + "[HKEY_CURRENT_USER\\Software\\Test]\n" + c.line, root);
        const RegistryKey *key = root.Find(kKey);
        ASSERT_NE(key, nullptr);
        if (!c.ok) {
            EXPECT_EQ(problems.size(), 1);
            if (!problems.isEmpty()) {
                EXPECT_TRUE(problems[0].startsWith("line 4:")) << problems[0].toStdString();
            }
            EXPECT_TRUE(key->Values.empty());
            continue;
        }
        EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
        ASSERT_EQ(key->Values.size(), 1u);
        EXPECT_EQ(key->Values[0].Name, QString::fromUtf8(c.name));
        EXPECT_EQ(key->Values[0].Type, c.type);
        EXPECT_EQ(key->Values[0].Data, c.data);
    }
}

TEST(RegFileFormat, SectionsAndDeletions) {
    struct Case {
        const char *what;
        QByteArray text;
        int problems;
        QStringList present;  // keys (below HKEY_CURRENT_USER) that must exist
        QStringList absent;
    };
    const Case cases[] = {
        {"parents are made for a deep key",
         kHeader + "[HKEY_CURRENT_USER\\A\\B\\C]\n",
         0,
         {"A", "A\\B", "A\\B\\C"},
         {}},
        {"a key without a root is a fault and its values are skipped",
         kHeader + "[Software\\X]\n\"v\"=dword:1\n\"w\"=dword:2\n[HKEY_CURRENT_USER\\Y]\n",
         1,
         {"Y"},
         {"Software"}},
        {"a value before the first key",
         kHeader + "\"v\"=dword:1\n[HKEY_CURRENT_USER\\Y]\n",
         1,
         {"Y"},
         {}},
        {"an unclosed key line", kHeader + "[HKEY_CURRENT_USER\\Y\n", 1, {}, {"Y"}},
        {"no header", QByteArray("[HKEY_CURRENT_USER\\Y]\n"), 1, {"Y"}, {}},
        {"the old header", QByteArray("REGEDIT4\n\n[HKEY_CURRENT_USER\\Y]\n"), 0, {"Y"}, {}},
        {"comments and blank lines",
         kHeader + "; note\n\n   \n[HKEY_CURRENT_USER\\Y]\n",
         0,
         {"Y"},
         {}},
        {"[-key] deletes with everything below",
         kHeader +
             "[HKEY_CURRENT_USER\\A\\B]\n[HKEY_CURRENT_USER\\A\\C]\n[-HKEY_CURRENT_USER\\a\\b]\n"
             "\"ignored\"=dword:1\n",
         0,
         {"A", "A\\C"},
         {"A\\B"}},
        {"a root name in any case", kHeader + "[hkey_current_user\\Y]\n", 0, {"Y"}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RegistryKey root;
        const QStringList problems = RegFileFormat::Apply(c.text, root);
        EXPECT_EQ(problems.size(), c.problems) << problems.join("; ").toStdString();
        for (const QString &p : c.present)
            EXPECT_NE(root.Find(QStringList{"HKEY_CURRENT_USER"} + p.split('\\')), nullptr)
                << p.toStdString();
        for (const QString &p : c.absent)
            EXPECT_EQ(root.Find(QStringList{"HKEY_CURRENT_USER"} + p.split('\\')), nullptr)
                << p.toStdString();
    }
}

TEST(RegFileFormat, ValueDeletionAndLaterValuesWin) {
    RegistryKey root;
    const QStringList problems = RegFileFormat::Apply(
        kHeader +
            "[HKEY_CURRENT_USER\\Software\\Test]\n\"a\"=dword:1\n\"b\"=dword:2\n"
            "\"A\"=dword:3\n\"b\"=-\n",
        root);
    EXPECT_TRUE(problems.isEmpty());
    const RegistryKey *key = root.Find(kKey);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->Values.size(), 1u);
    EXPECT_EQ(key->Values[0].Name, "a");
    EXPECT_EQ(key->Values[0].Data, Bytes({3, 0, 0, 0}));
}

// A file cut short where the cut shows is a fault at the cut value's first line; the values
// before it are read. The registry editor's short forms elsewhere stay readable.
TEST(RegFileFormat, AFileCutShortIsAFault) {
    const QByteArray start = kHeader +
                             "[HKEY_CURRENT_USER\\Software\\Test]\n\"Good\"=dword:00000005\n";
    const struct {
        const char *what;
        QByteArray rest;
        bool fault;
    } cases[] = {
        {"a continuation with nothing after it", "\"P\"=hex:73,65,\\\n", true},
        {"a continuation at the very end", "\"P\"=hex:73,65,\\", true},
        {"a continuation followed by blanks", "\"P\"=hex:73,65,\\\n  ", true},
        {"a continuation into a blank line", "\"P\"=hex:73,\\\n\n[HKEY_CURRENT_USER\\X]\n", true},
        {"half a byte at the end", "\"P\"=hex:73,6", true},
        {"half a byte on a continuation line", "\"P\"=hex:73,\\\n  65,6", true},
        {"half a typed text's byte at the end", "\"P\"=hex(2):41,0", true},
        {"one-digit bytes with their line break", "\"P\"=hex:7,3,6\n", false},
        {"one-digit bytes before a full one at the end", "\"P\"=hex:7,3,65", false},
        {"a continued value, whole", "\"P\"=hex:73,\\\n  65\n", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RegistryKey root;
        const QStringList problems = RegFileFormat::Apply(start + c.rest, root);
        const RegistryKey *key = root.Find(kKey);
        ASSERT_NE(key, nullptr);
        ASSERT_NE(key->FindValue("Good"), nullptr);
        if (!c.fault) {
            EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
            EXPECT_NE(key->FindValue("P"), nullptr);
            continue;
        }
        ASSERT_EQ(problems.size(), 1) << problems.join("; ").toStdString();
        EXPECT_TRUE(problems[0].startsWith("line 5:")) << problems[0].toStdString();
        EXPECT_TRUE(problems[0].contains("cut short")) << problems[0].toStdString();
        EXPECT_EQ(key->FindValue("P"), nullptr);
    }
}

RegistryKey AwkwardTree() {
    RegistryKey root;
    RegistryKey &k = root.FindOrCreate({"HKEY_CURRENT_USER", "Software", "Vornix", "Kivrawatch"});
    k.SetValue("RefreshInterval", RegType::Dword, Bytes({5, 0, 0, 0}));
    k.SetValue("", RegType::Sz, Utf16("default"));
    k.SetValue("@", RegType::Sz, Utf16("a value named @"));
    k.SetValue("quote\"back\\slash", RegType::Sz, Utf16("C:\\x\\\"y\""));
    k.SetValue("line\nbreak\rname", RegType::Sz, Utf16("two\nlines"));
    k.SetValue("zero inside", RegType::Sz, Utf16(QString("a") + QChar(0) + "b"));
    k.SetValue("odd text bytes", RegType::Sz, Bytes({0x41, 0x00, 0x42}));
    k.SetValue("Expand", RegType::ExpandSz, Utf16("%APPDATA%\\Kivra"));
    k.SetValue("Short dword", RegType::Dword, Bytes({1, 2}));
    k.SetValue("Multi", RegType::MultiSz, Utf16("a") + Utf16("b") + Bytes({0, 0}));
    k.SetValue("Big", 0x20000001u, Bytes({9}));
    QByteArray big;
    for (int i = 0; i < 1000; ++i) big.append(static_cast<char>(i * 7));
    k.SetValue("Blob", RegType::Binary, big);
    k.SetValue("Nothing", RegType::Binary, {});
    k.SetValue("Grüße", RegType::Sz, Utf16("Überwachung"));
    root.FindOrCreate({"HKEY_CURRENT_USER", "Software", "Vornix", "Servers", "Empty key"});
    root.FindOrCreate({"HKEY_CURRENT_USER", "Software", "Vornix", "Servers", "A]B[C"})
        .SetValue("x", RegType::Dword, Bytes({0, 0, 0, 0}));
    return root;
}

TEST(RegFileFormat, WrittenFilesReadBackUnchanged) {
    const RegistryKey tree = AwkwardTree();
    const QByteArray text = RegFileFormat::Write(tree);
    RegistryKey back;
    const QStringList problems = RegFileFormat::Apply(text, back);
    EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString() << "\n"
                                    << text.toStdString();
    ExpectSameTree(tree, back);
    EXPECT_EQ(RegFileFormat::Write(back), text);
}

TEST(RegFileFormat, WriterLayoutIsTheEditorsExportLayout) {
    const QByteArray text = RegFileFormat::Write(AwkwardTree());
    EXPECT_TRUE(text.startsWith(kHeader));
    const QList<QByteArray> lines = text.split('\n');
    const auto has = [&](const QByteArray &line) { return lines.contains(line); };
    EXPECT_TRUE(has("[HKEY_CURRENT_USER\\Software\\Vornix\\Kivrawatch]"));
    EXPECT_TRUE(has("\"RefreshInterval\"=dword:00000005"));
    EXPECT_TRUE(has("@=\"default\""));
    EXPECT_TRUE(has("\"@\"=\"a value named @\""));
    EXPECT_TRUE(has("\"quote\\\"back\\\\slash\"=\"C:\\\\x\\\\\\\"y\\\"\""));
    EXPECT_TRUE(has("\"Short dword\"=hex(4):01,02"));
    EXPECT_TRUE(has("\"Big\"=hex(20000001):09"));
    EXPECT_TRUE(has("\"Nothing\"=hex:"));
    EXPECT_TRUE(has("[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\Empty key]"));
    EXPECT_FALSE(has("[HKEY_CURRENT_USER]"));
    EXPECT_TRUE(text.contains("\"Expand\"=hex(2):25,00,41,00,50,00"));
    EXPECT_TRUE(text.contains("\"line\\nbreak\\rname\"=hex(1):74,00,77,00,6f,00,0a,00"));
    // Hex data is wrapped below 80 columns: ",\" at the end, two spaces in front.
    bool inHex = false;
    int continuations = 0;
    for (const QByteArray &line : lines) {
        EXPECT_LE(line.size(), 80) << line.toStdString();
        if (inHex) {
            EXPECT_TRUE(line.startsWith("  ")) << line.toStdString();
            ++continuations;
        }
        inHex = line.endsWith(",\\");
    }
    EXPECT_GT(continuations, 10);
}

// The same settings in each encoding the registry editor (or a person) may have used.
TEST(RegFileFormat, EncodingsOfExportFiles) {
    const QString text = QString::fromUtf8(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
        "\"Name\"=\"Grüße\"\r\n"
        "\"Path\"=hex(2):25,00,41,00,25,00,5c,00,dc,00,00,00\r\n\r\n");
    auto encode = [&](QStringConverter::Encoding e, bool bom) {
        QStringEncoder encoder(e, bom ? QStringConverter::Flag::WriteBom
                                      : QStringConverter::Flag::Default);
        return QByteArray(encoder(text));
    };
    const struct {
        const char *what;
        QByteArray file;
    } cases[] = {
        {"UTF-8", encode(QStringConverter::Utf8, false)},
        {"UTF-8 with BOM", encode(QStringConverter::Utf8, true)},
        {"UTF-16LE with BOM", encode(QStringConverter::Utf16LE, true)},
        {"UTF-16LE without BOM", encode(QStringConverter::Utf16LE, false)},
        {"UTF-16BE with BOM", encode(QStringConverter::Utf16BE, true)},
        {"LF line ends", encode(QStringConverter::Utf8, false).replace("\r\n", "\n")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RegistryKey root;
        const QStringList problems = RegFileFormat::Apply(c.file, root);
        EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
        const RegistryKey *key = root.Find(kKey);
        ASSERT_NE(key, nullptr);
        ASSERT_EQ(key->Values.size(), 2u);
        EXPECT_EQ(RegFileFormat::DataToText(key->Values[0].Data), QString::fromUtf8("Grüße"));
        EXPECT_EQ(key->Values[1].Type, RegType::ExpandSz);
        EXPECT_EQ(RegFileFormat::DataToText(key->Values[1].Data), QString::fromUtf8("%A%\\Ü"));
    }
}

// A damaged UTF-16 file with unpaired surrogates (in a key name, a value name and a text): they
// read as U+FFFD, so what the store holds after reading is what it writes and the file read
// back gives the same tree; the damage is reported as any other of the encoding.
TEST(RegFileFormat, LoneSurrogatesReadAsReplacementCharacters) {
    const QChar high(char16_t(0xD800)), low(char16_t(0xDC00)),
        pair[] = {char16_t(0xD83D), char16_t(0xDE00)};
    const QString text = QStringLiteral(
                             "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Test") +
                         high + QStringLiteral("]\r\n\"Na") + low + QStringLiteral("me\"=\"x") +
                         high + QStringLiteral("y\"\r\n\"Smile\"=\"") + QString(pair, 2) + low +
                         high + QStringLiteral("\"\r\n");
    QByteArray file("\xff\xfe");
    for (QChar c : text) {
        file.append(static_cast<char>(c.unicode() & 0xFF));
        file.append(static_cast<char>(c.unicode() >> 8));
    }
    RegistryKey read;
    EXPECT_EQ(RegFileFormat::Apply(file, read),
              QStringList{QStringLiteral("the file is not valid UTF-16 text")});
    const QChar replacement(char16_t(0xFFFD));
    const RegistryKey *key =
        read.Find({"HKEY_CURRENT_USER", "Software", QStringLiteral("Test") + replacement});
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->Values.size(), 2u);
    EXPECT_EQ(key->Values[0].Name, QStringLiteral("Na") + replacement + QStringLiteral("me"));
    EXPECT_EQ(RegFileFormat::DataToText(key->Values[0].Data),
              QStringLiteral("x") + replacement + QStringLiteral("y"));
    EXPECT_EQ(RegFileFormat::DataToText(key->Values[1].Data),
              QString(pair, 2) + replacement + replacement)
        << "a pair stays whole";

    RegistryKey again;
    EXPECT_TRUE(RegFileFormat::Apply(RegFileFormat::Write(read), again).isEmpty());
    ExpectSameTree(read, again);
}

TEST(RegFileFormat, EightBitFiles) {
    // The old format's text is 8-bit and so is its hex(2) data.
    RegistryKey root;
    EXPECT_TRUE(RegFileFormat::Apply("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n"
                                     "\"N\"=\"caf\xe9\"\r\n\"P\"=hex(2):25,41,25,00\r\n",
                                     root)
                    .isEmpty());
    const RegistryKey *key = root.Find(kKey);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->Values.size(), 2u);
    EXPECT_EQ(RegFileFormat::DataToText(key->Values[0].Data), QString::fromUtf8("café"));
    EXPECT_EQ(key->Values[1].Data, Utf16("%A%"));
    // The same byte in a current-format file is not UTF-8: a fault, the rest is still read.
    RegistryKey other;
    const QStringList problems = RegFileFormat::Apply(
        kHeader + "[HKEY_CURRENT_USER\\Software\\Test]\n\"N\"=\"caf\xe9\"\n\"M\"=dword:2\n", other);
    EXPECT_EQ(problems.size(), 1);
    ASSERT_NE(other.Find(kKey), nullptr);
    EXPECT_NE(other.Find(kKey)->FindValue("M"), nullptr);
}

TEST(RegFileFormat, WindowsExportFixture) {
    QFile f(KIVRA_SOURCE_DIR "/tests/fixtures/registry-windows-export.reg");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith("\xff\xfe"));
    RegistryKey root;
    const QStringList problems = RegFileFormat::Apply(bytes, root);
    EXPECT_TRUE(problems.isEmpty()) << problems.join("; ").toStdString();
    const RegistryKey *logging =
        root.Find({"HKEY_CURRENT_USER", "Software", "Vornix", "Kivrawatch", "Logging"});
    ASSERT_NE(logging, nullptr);
    const RegistryKey::Value *dir = logging->FindValue("LoggingDirectory");
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->Type, RegType::ExpandSz);
    EXPECT_EQ(RegFileFormat::DataToText(dir->Data),
              QString::fromUtf8("%USERPROFILE%\\Documents\\Kivrawatch Logs\\Überwachung"));
    const RegistryKey *sales =
        root.Find({"HKEY_CURRENT_USER", "Software", "Vornix", "Servers", "DBHOST01", "SALES"});
    ASSERT_NE(sales, nullptr);
    const RegistryKey::Value *password = sales->FindValue("password");
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->Type, RegType::Binary);
    EXPECT_EQ(password->Data.size(), 81);
    EXPECT_TRUE(password->Data.startsWith("p\xe4ss-w0rd"));
    EXPECT_TRUE(password->Data.endsWith("0123456789"));
    const RegistryKey::Value *notes = sales->FindValue("Notes");
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->Type, RegType::MultiSz);
    EXPECT_EQ(notes->Data.size(), 26);
}

}  // namespace
