// The OLE DB connection string's quoting and parsing, and its translation into ODBC keywords.
#include "OleDbConnectionString.h"

#include <gtest/gtest.h>

using namespace kivra;

namespace {

// Values that must survive being written into a connection string and read back.
const char *const kAwkwardValues[] = {
    "plain",
    "semi;colon",
    "close}brace",
    "{open",
    "equals=sign",
    "double\"quote",
    "single'quote",
    "both'\"quotes",
    " leading",
    "trailing ",
    "\"",
    "''",
    ";Password=x;",
    "Provider=evil",
    "a;b}c=d'e\"f",
    "",
    "=leading",
    "==",
    "=",
};

}  // namespace

TEST(OleDbConnectionString, QuotedValuesRoundTrip) {
    for (const char *value : kAwkwardValues) {
        const std::string text = "Provider=SQLOLEDB.1;Password=" + QuoteOleDbValue(value) +
                                 ";User ID=" + QuoteOleDbValue(value) + ";Data Source=h";
        ConnectionKeywords kw = ParseOleDbConnectionString(text);
        ASSERT_EQ(kw.size(), 4u) << text;
        EXPECT_EQ(KeywordValue(kw, "Password"), value) << text;
        EXPECT_EQ(KeywordValue(kw, "User ID"), value) << text;
        EXPECT_EQ(KeywordValue(kw, "Data Source"), "h") << text;
    }
}

TEST(OleDbConnectionString, PlainValuesAreNotQuoted) {
    for (const char *value : {"sa", "Kivra-Test-1", "host\\instance", "host,1433", "p@ss=word"})
        EXPECT_EQ(QuoteOleDbValue(value), value);
}

TEST(OleDbConnectionString, ParsesKeysCaseInsensitivelyAndTrims) {
    ConnectionKeywords kw = ParseOleDbConnectionString(
        " Provider = SQLOLEDB.1 ; data source= host,1433 ;;Bare;"
        "Initial Catalog='my ''db''';Application Name=\"A;B\"");
    EXPECT_EQ(KeywordValue(kw, "PROVIDER"), "SQLOLEDB.1");
    EXPECT_EQ(KeywordValue(kw, "Data Source"), "host,1433");
    EXPECT_EQ(KeywordValue(kw, "initial catalog"), "my 'db'");
    EXPECT_EQ(KeywordValue(kw, "Application Name"), "A;B");
    EXPECT_EQ(KeywordValue(kw, "Missing", "fallback"), "fallback");
}

TEST(OleDbConnectionString, OdbcQuotingByEachDriversBraceRule) {
    struct Case {
        const char *value, *doubled, *freetds;
    } cases[] = {
        {"plain", "plain", "plain"}, {"a;b", "{a;b}", "{a;b}"}, {"a}b", "{a}}b}", "{a}b}"},
        {"{a", "{{a}", "{{a}"},      {"a=b", "{a=b}", "{a=b}"}, {"", "{}", "{}"},
        {" x", "{ x}", "{ x}"},      {"}}", "{}}}}}", "{}}}"},  {"x;}", "{x;}}}", "{x;}}"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(QuoteOdbcValue(c.value, OdbcBraces::Doubled), c.doubled) << c.value;
        EXPECT_EQ(QuoteOdbcValue(c.value, OdbcBraces::UntilBraceSemicolon), c.freetds) << c.value;
    }
    // FreeTDS ends a braced value at the first "};": such a value cannot be passed unchanged.
    EXPECT_THROW(BraceOdbcValue("x};y", OdbcBraces::UntilBraceSemicolon), std::invalid_argument);
    EXPECT_EQ(BraceOdbcValue("x};y", OdbcBraces::Doubled), "{x}};y}");
}

TEST(OleDbConnectionString, TranslatesDataSourceForEachDriver) {
    const char *const freetds = "FreeTDS", *const odbc18 = "ODBC Driver 18 for SQL Server",
                      *const odbc17 = "ODBC Driver 17 for SQL Server";
    // Without a port or an instance a host means the default instance, port 1433, on every
    // driver; "(local)", "." and an empty host mean this machine.
    struct Case {
        const char *dataSource, *driver, *expectServer;
    } cases[] = {
        {"db1", freetds, "SERVER=db1;PORT=1433;"},
        {" db1 ", freetds, "SERVER=db1;PORT=1433;"},
        {"127.0.0.9", freetds, "SERVER=127.0.0.9;PORT=1433;"},
        {"db1,1500", freetds, "SERVER=db1;PORT=1500;"},
        {"db1, 1500", freetds, "SERVER=db1;PORT=1500;"},
        {"db1,", freetds, "SERVER=db1;PORT=1433;"},
        {"db1\\SQLEXPRESS", freetds, "SERVER=db1\\SQLEXPRESS;"},
        {"db1\\", freetds, "SERVER=db1;PORT=1433;"},
        {"(local)", freetds, "SERVER=127.0.0.1;PORT=1433;"},
        {"(LOCAL)", freetds, "SERVER=127.0.0.1;PORT=1433;"},
        {".", freetds, "SERVER=127.0.0.1;PORT=1433;"},
        {"", freetds, "SERVER=127.0.0.1;PORT=1433;"},
        {".,1500", freetds, "SERVER=127.0.0.1;PORT=1500;"},
        {"(local)\\INST", freetds, "SERVER=127.0.0.1\\INST;"},
        {"db1", odbc18, "SERVER=db1,1433;"},
        {"db1,1500", odbc18, "SERVER=db1,1500;"},
        {"db1\\SQLEXPRESS", odbc17, "SERVER=db1\\SQLEXPRESS;"},
        {"(local)", odbc18, "SERVER=127.0.0.1,1433;"},
        {"", odbc17, "SERVER=127.0.0.1,1433;"},
        {".\\INST", odbc18, "SERVER=127.0.0.1\\INST;"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.dataSource << "\" for " << c.driver);
        ConnectionKeywords kw = ParseOleDbConnectionString(
            std::string("Provider=SQLOLEDB.1;User ID=sa;Password=pw;Initial Catalog=master;"
                        "Data Source=") +
            c.dataSource + ";Application Name=VORNIXMonitor");
        const std::string odbc = TranslateToOdbc(kw, c.driver);
        // The server and its port come right after the driver, and nowhere else.
        EXPECT_EQ(odbc.rfind("DRIVER=" + QuoteOdbcValue(c.driver) + ";" + c.expectServer +
                                 "DATABASE=master;",
                             0),
                  0u)
            << odbc;
        EXPECT_EQ(odbc.find("SERVER="), odbc.rfind("SERVER=")) << odbc;
        EXPECT_EQ(odbc.find("PORT="), odbc.rfind("PORT=")) << odbc;
        EXPECT_NE(odbc.find("APP=VORNIXMonitor;"), std::string::npos) << odbc;
        EXPECT_NE(odbc.find("UID={sa};PWD={pw};"), std::string::npos) << odbc;
        const bool microsoft = c.driver != freetds;
        EXPECT_EQ(odbc.find("Encrypt=no;") != std::string::npos, microsoft) << odbc;
        EXPECT_EQ(odbc.find("PacketSize=32767;") != std::string::npos, !microsoft) << odbc;
    }
    // No Data Source at all is an empty host.
    EXPECT_EQ(TranslateToOdbc(ParseOleDbConnectionString("Provider=SQLOLEDB.1"), freetds)
                  .rfind("DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=1433;", 0),
              0u);
}

TEST(OleDbConnectionString, IntegratedSecuritySendsNoCredentials) {
    ConnectionKeywords kw = ParseOleDbConnectionString(
        "Provider=SQLOLEDB.1;Persist Security Info=False;Integrated Security=SSPI;"
        "Initial Catalog=master;Data Source=db1;Application Name=VORNIXMonitor");
    const std::string odbc = TranslateToOdbc(kw, "FreeTDS");
    EXPECT_NE(odbc.find("Trusted_Connection=Yes;"), std::string::npos);
    EXPECT_EQ(odbc.find("UID="), std::string::npos);
    EXPECT_EQ(odbc.find("PWD="), std::string::npos);
}

TEST(OleDbConnectionString, PasswordCannotInjectKeywords) {
    // Through both layers of quoting the password stays one value, or is refused.
    const std::string password = "x};DATABASE=tempdb;PWD={y";
    ConnectionKeywords kw = ParseOleDbConnectionString(
        "Provider=SQLOLEDB.1;User ID=sa;Password=" + QuoteOleDbValue(password) +
        ";Initial Catalog=master;Data Source=h");
    const std::string odbc = TranslateToOdbc(kw, "ODBC Driver 18 for SQL Server");
    EXPECT_NE(odbc.find("PWD={x}};DATABASE=tempdb;PWD={y};"), std::string::npos) << odbc;
    EXPECT_EQ(odbc.find("DATABASE=master;"), odbc.find("DATABASE="));
    EXPECT_THROW(TranslateToOdbc(kw, "FreeTDS"), std::invalid_argument);
}
