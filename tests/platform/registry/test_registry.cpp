// TRegistry against a real settings file in a temporary folder: types, names, paths, access and
// the errors that callers rely on.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "TRegistry.h"
#include "TempRegistryFile.h"

namespace {

const std::string kMain = "\\SOFTWARE\\Vornix\\Kivrawatch";
const std::string kServers = "\\Software\\Vornix\\Servers\\";

std::vector<std::string> ValueNames(const std::string &key) {
    TRegistry reg(KEY_READ);
    std::vector<std::string> names;
    if (reg.OpenKeyReadOnly(key)) reg.GetValueNames(names);
    return names;
}

std::string Binary(TRegistry &reg, const std::string &name) {
    char buffer[512];
    const int n = reg.ReadBinaryData(name, buffer, sizeof buffer);
    return std::string(buffer, static_cast<size_t>(n));
}

class RegistryTest : public ::testing::Test {
protected:
    TempRegistryFile file;
};

// Each value written is read back with its type, in the writing instance and from the file.
TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheFile) {
    struct Case {
        const char *name;
        TRegDataType type;
        int integer;
        std::string text;  // texts and binary data
    };
    const std::string zeros("a\0b\0\0c", 6);
    const std::string wide(300, '\xA5');
    const std::vector<Case> cases = {
        {"Zero", rdInteger, 0, {}},
        {"One", rdInteger, 1, {}},
        {"Negative", rdInteger, -2, {}},
        {"Max", rdInteger, INT_MAX, {}},
        {"Min", rdInteger, INT_MIN, {}},
        {"Empty", rdString, 0, ""},
        {"Plain", rdString, 0, "mail.example.test"},
        {"Escapes", rdString, 0, "C:\\Logs\\\"night\" = [x]"},
        {"Unicode", rdString, 0, "Grüße, Überwachung \xE2\x82\xAC"},
        {"TwoLines", rdString, 0, "first\r\nsecond\n"},
        {"Expandable", rdExpandString, 0, "%TEMP%\\kivra"},
        {"EmptyExpandable", rdExpandString, 0, ""},
        {"NoBytes", rdBinary, 0, ""},
        {"WithZeros", rdBinary, 0, zeros},
        {"Long", rdBinary, 0, wide},
        {"", rdString, 0, "the default value"},
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kMain + "\\Types", true));
        for (const Case &c : cases) {
            switch (c.type) {
            case rdInteger: reg.WriteInteger(c.name, c.integer); break;
            case rdString: reg.WriteString(c.name, c.text); break;
            case rdExpandString: reg.WriteExpandString(c.name, c.text); break;
            default: reg.WriteBinaryData(c.name, c.text.data(), static_cast<int>(c.text.size()));
            }
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) file.Reload();
        TRegistry reg(KEY_READ);
        ASSERT_TRUE(reg.OpenKeyReadOnly(kMain + "\\Types"));
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + (pass ? " after reload" : ""));
            ASSERT_TRUE(reg.ValueExists(c.name));
            EXPECT_EQ(reg.GetDataType(c.name), c.type);
            if (c.type == rdInteger)
                EXPECT_EQ(reg.ReadInteger(c.name), c.integer);
            else if (c.type == rdBinary)
                EXPECT_EQ(Binary(reg, c.name), c.text);
            else
                EXPECT_EQ(reg.ReadString(c.name), c.text);
        }
    }
}

TEST_F(RegistryTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstCase) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kMain, true));
        reg.WriteInteger("RefreshInterval", 1);
        reg.WriteInteger("REFRESHINTERVAL", 5);
    }
    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists("\\software\\VORNIX\\kivrawatch"));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Vornix\\Kivrawatch", false));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Vornix\\Kivrawatch");
    EXPECT_TRUE(reg.ValueExists("refreshinterval"));
    EXPECT_EQ(reg.ReadInteger("RefreshInterval"), 5);
    EXPECT_EQ(ValueNames(kMain), std::vector<std::string>{"RefreshInterval"});

    ASSERT_TRUE(reg.OpenKey("\\Software\\Vornix", false));
    std::vector<std::string> keys;
    reg.GetKeyNames(keys);
    EXPECT_EQ(keys, std::vector<std::string>{"Kivrawatch"});
    EXPECT_NE(file.Contents().indexOf("[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]"), -1);
}

// A server name typed by the user becomes a value name: whatever it holds, it stays one value and
// cannot add keys or values to the file.
TEST_F(RegistryTest, NamesAndTextsCannotChangeTheFilesLayout) {
    const std::vector<std::string> names = {
        "x\"=dword:00000001\n[HKEY_CURRENT_USER\\Software\\Evil]\n\"y",
        "a\r\nb",
        "trailing\\",
        "\"",
        "@",
        "=",
        "[HKEY_CURRENT_USER\\Software\\Evil]",
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kServers + "List Of Servers", true));
        for (const std::string &name : names)
            reg.WriteString(name, name + "\n\"=-\n[-HKEY_CURRENT_USER]");
    }
    file.Reload();
    EXPECT_EQ(ValueNames(kServers + "List Of Servers"), names);
    TRegistry reg(KEY_READ);
    EXPECT_FALSE(reg.KeyExists("\\Software\\Evil"));
    ASSERT_TRUE(reg.OpenKeyReadOnly(kServers + "List Of Servers"));
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reg.GetDataType(name), rdString);
        EXPECT_EQ(reg.ReadString(name), name + "\n\"=-\n[-HKEY_CURRENT_USER]");
    }
    EXPECT_TRUE(file.Messages().empty());
}

TEST_F(RegistryTest, ValueNamesComeInTheOrderWritten) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kServers + "List Of Servers", true));
        for (const char *name : {"zeta", "alpha", "Mid\\Inst", "beta"}) reg.WriteString(name, "");
        reg.WriteString("ALPHA", "x");  // a rewrite keeps its place
        EXPECT_TRUE(reg.DeleteValue("zeta"));
        reg.WriteString("Zeta", "");  // deleted and written again: last
    }
    const std::vector<std::string> expected = {"alpha", "Mid\\Inst", "beta", "Zeta"};
    EXPECT_EQ(ValueNames(kServers + "List Of Servers"), expected);
    file.Reload();
    EXPECT_EQ(ValueNames(kServers + "List Of Servers"), expected);
}

// The reader rules of the callers depend on which reads of which type raise.
TEST_F(RegistryTest, ReadsOfTheWrongTypeRaise) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kMain, true));
    reg.WriteInteger("Int", 7);
    reg.WriteString("Text", "7");
    reg.WriteExpandString("Expand", "%X%");
    const char bytes[] = {1, 2, 3};
    reg.WriteBinaryData("Bin", bytes, 3);

    enum Read { Integer, String, Bytes };
    struct Case {
        const char *value;
        Read read;
        bool raises;
    };
    const Case cases[] = {
        {"Int", Integer, false},    {"Int", String, true},      {"Int", Bytes, true},
        {"Text", Integer, true},    {"Text", String, false},    {"Text", Bytes, true},
        {"Expand", Integer, true},  {"Expand", String, false},  {"Expand", Bytes, true},
        {"Bin", Integer, true},     {"Bin", String, true},      {"Bin", Bytes, false},
        {"Missing", Integer, true}, {"Missing", String, false}, {"Missing", Bytes, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.value) + " read as " + std::to_string(c.read));
        auto read = [&] {
            char buffer[16];
            if (c.read == Integer)
                reg.ReadInteger(c.value);
            else if (c.read == String)
                reg.ReadString(c.value);
            else
                reg.ReadBinaryData(c.value, buffer, sizeof buffer);
        };
        if (c.raises)
            EXPECT_THROW(read(), ERegistryException);
        else
            EXPECT_NO_THROW(read());
    }
    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_EQ(reg.GetDataType("Missing"), rdUnknown);
    EXPECT_EQ(reg.GetDataSize("Missing"), -1);
    EXPECT_EQ(reg.GetDataSize("Int"), 4);
    EXPECT_EQ(reg.GetDataSize("Bin"), 3);
    EXPECT_EQ(reg.GetDataSize("Text"), 4);  // UTF-16 "7" and its zero
    try {
        reg.ReadInteger("Text");
        FAIL() << "no error";
    } catch (const ERegistryException &e) {
        EXPECT_NE(e.Message.find("Text"), std::string::npos) << e.Message;
    }
}

// A saved password is read into a 128-byte buffer: a larger value must not be written past it.
TEST_F(RegistryTest, BinaryReadsNeverPassTheBuffer) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kServers + "HOST", true));
    for (int size : {0, 1, 127, 128, 129, 4000}) {
        SCOPED_TRACE(size);
        const std::string data(static_cast<size_t>(size), 'p');
        reg.WriteBinaryData("Password", data.data(), size);
        char buffer[128 + 8];
        std::memset(buffer, 0, sizeof buffer);
        std::memset(buffer + 128, 'G', 8);
        if (size > 128) {
            EXPECT_THROW(reg.ReadBinaryData("Password", buffer, 128), ERegistryException);
            EXPECT_EQ(std::string(buffer, 128), std::string(128, '\0'));
        } else {
            EXPECT_EQ(reg.ReadBinaryData("Password", buffer, 128), size);
            EXPECT_EQ(std::string(buffer, static_cast<size_t>(size)), data);
        }
        EXPECT_EQ(std::string(buffer + 128, 8), std::string(8, 'G'));
    }
}

TEST_F(RegistryTest, PathsAreAbsoluteOrRelativeToTheOpenKey) {
    TRegistry reg;
    // A server name with a backslash lives in nested keys; empty parts are skipped.
    ASSERT_TRUE(reg.OpenKey(kServers + "DBHOST\\SALES", true));
    reg.WriteInteger("UseWindowsNT", 1);
    EXPECT_EQ(reg.CurrentPath(), "Software\\Vornix\\Servers\\DBHOST\\SALES");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Vornix\\Servers", false));
    EXPECT_TRUE(reg.KeyExists("DBHOST"));  // relative to the open key
    EXPECT_TRUE(reg.KeyExists("dbhost\\sales"));
    EXPECT_FALSE(reg.KeyExists("SALES"));
    ASSERT_TRUE(reg.OpenKey("DBHOST", false));
    ASSERT_TRUE(reg.OpenKey("SALES", false));
    EXPECT_EQ(reg.ReadInteger("UseWindowsNT"), 1);
    reg.CloseKey();
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_FALSE(reg.ValueExists("UseWindowsNT"));
    EXPECT_TRUE(reg.KeyExists("Software\\Vornix"));  // relative to the root when none is open
    EXPECT_TRUE(reg.OpenKey("\\\\Software\\\\Vornix\\\\Servers\\\\DBHOST\\", false));
    EXPECT_FALSE(reg.OpenKey("\\Software\\Vornix\\Bad\nName", true));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Vornix\\Bad\nName"));
}

TEST_F(RegistryTest, LookingAtMissingKeysCreatesNothing) {
    TRegistry reg(KEY_READ);
    EXPECT_FALSE(reg.KeyExists(kMain));
    EXPECT_FALSE(reg.OpenKeyReadOnly(kMain + "\\AllProcesses"));
    EXPECT_FALSE(reg.OpenKey(kMain, false));
    EXPECT_FALSE(reg.ValueExists("TopSplitValue"));
    EXPECT_FALSE(QFile::exists(file.Path()));
}

TEST_F(RegistryTest, WritesNeedAKeyOpenForWriting) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kMain, true));
        reg.WriteInteger("RefreshInterval", 3);
    }
    auto write = [](TRegistry &reg) { reg.WriteInteger("RefreshInterval", 9); };
    TRegistry none;
    EXPECT_THROW(write(none), ERegistryException);

    TRegistry readOnly;
    ASSERT_TRUE(readOnly.OpenKeyReadOnly(kMain));
    EXPECT_THROW(write(readOnly), ERegistryException);
    EXPECT_FALSE(readOnly.DeleteValue("RefreshInterval"));

    TRegistry readAccess(KEY_READ);
    ASSERT_TRUE(readAccess.OpenKey(kMain, false));
    EXPECT_THROW(write(readAccess), ERegistryException);
    EXPECT_FALSE(readAccess.DeleteKey(kMain));

    TRegistry full;
    ASSERT_TRUE(full.OpenKey(kMain, false));
    EXPECT_THROW(full.WriteString(std::string("Bad\0Name", 8), "x"), ERegistryException);
    EXPECT_EQ(full.ReadInteger("RefreshInterval"), 3);
    EXPECT_EQ(ValueNames(kMain), std::vector<std::string>{"RefreshInterval"});
}

TEST_F(RegistryTest, DeleteKeyTakesEverythingBelowIt) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kServers + "HOST\\INSTANCE\\Deeper", true));
        reg.WriteString("UserID", "sa");
        ASSERT_TRUE(reg.OpenKey(kServers + "HOST", true));
        reg.WriteInteger("UseWindowsNT", 0);
        ASSERT_TRUE(reg.OpenKey(kServers + "HOST2", true));
        reg.WriteInteger("UseWindowsNT", 1);
    }
    TRegistry reg;
    EXPECT_TRUE(reg.DeleteKey(kServers + "host"));
    EXPECT_FALSE(reg.KeyExists(kServers + "HOST"));
    EXPECT_FALSE(reg.KeyExists(kServers + "HOST\\INSTANCE"));
    EXPECT_TRUE(reg.KeyExists(kServers + "HOST2"));
    EXPECT_FALSE(reg.DeleteKey(kServers + "HOST"));
    EXPECT_FALSE(reg.DeleteKey("\\"));
    EXPECT_TRUE(reg.KeyExists("\\"));
    file.Reload();
    EXPECT_FALSE(reg.KeyExists(kServers + "HOST\\INSTANCE\\Deeper"));
    EXPECT_TRUE(reg.KeyExists(kServers + "HOST2"));
    EXPECT_EQ(file.Contents().indexOf("INSTANCE"), -1);
}

TEST_F(RegistryTest, AKeyDeletedWhileOpenIsMadeAgainByAWrite) {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(kMain + "\\DBProcesses", true));
    TRegistry other;
    ASSERT_TRUE(other.DeleteKey(kMain));
    EXPECT_FALSE(writer.ValueExists("TopGrid"));
    writer.WriteInteger("TopGrid", 120);
    TRegistry reader(KEY_READ);
    ASSERT_TRUE(reader.OpenKeyReadOnly(kMain + "\\DBProcesses"));
    EXPECT_EQ(reader.ReadInteger("TopGrid"), 120);
}

}  // namespace
