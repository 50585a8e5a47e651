#pragma once
// OLE DB connection strings ("Key=Value;Key=Value") and their translation into an ODBC
// driver's keywords.
//
// Values are quoted by the OLE DB rules so that any text (a password with ";", quotes, "=" or
// blanks at its ends) survives the round trip; the translation quotes by the ODBC rules
// ({...} with "}" doubled). Pure text functions, safe on any thread.

#include <string>
#include <utility>
#include <vector>

namespace kivra {

using ConnectionKeywords = std::vector<std::pair<std::string, std::string>>;

// The value as it must stand after "Key=": unchanged when it needs no quoting, else enclosed
// in double quotes with every inner double quote doubled.
std::string QuoteOleDbValue(const std::string &value);

// Splits an OLE DB connection string into its keywords in order; values are unquoted. Keys
// keep their spelling; ParseOleDbConnectionString does not judge them.
ConnectionKeywords ParseOleDbConnectionString(const std::string &text);

// The value of key (compared without regard to case), or fallback when absent.
std::string KeywordValue(const ConnectionKeywords &keywords, const std::string &key,
                         const std::string &fallback = std::string());

// How a driver reads a value in braces. The ODBC rule (Microsoft's drivers): "}" inside is
// doubled. FreeTDS: the value runs verbatim up to the first "};", so a value holding "};"
// cannot be given at all.
enum class OdbcBraces { Doubled, UntilBraceSemicolon };

// A value as it must stand after "KEY=" in an ODBC connection string: unchanged when it holds
// nothing that ODBC treats specially, else in braces.
std::string QuoteOdbcValue(const std::string &value, OdbcBraces braces = OdbcBraces::Doubled);
// The value in braces whatever it holds. Throws std::invalid_argument for a value that the
// driver's brace rule cannot carry.
std::string BraceOdbcValue(const std::string &value, OdbcBraces braces);

// The ODBC connection string for driverName that opens what the OLE DB keywords describe:
// Data Source ("host", "host\instance", "host,port"), Initial Catalog, Application Name,
// User ID / Password or Integrated Security. A host without a port or an instance is the default
// instance on port 1433; "(local)", "." and an empty host are 127.0.0.1. Microsoft's drivers get
// Encrypt=no (encryption not required, as the OLE DB provider did); FreeTDS gets UTF-8 as its
// client character set and the largest TDS packet (32,767 bytes) in place of its default of 4,096.
// Throws std::invalid_argument when a value cannot be passed to the driver unchanged.
std::string TranslateToOdbc(const ConnectionKeywords &keywords, const std::string &driverName);

}  // namespace kivra
