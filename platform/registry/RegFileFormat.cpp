#include "RegFileFormat.h"

#include <QStringDecoder>
#include <cstring>
#include <optional>

namespace kivra {
namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";
constexpr int kHexLineLimit = 77;  // wrap hex data as the registry editor does, below 80 columns

// Replaces every surrogate without its partner by U+FFFD, so that the text held is the text
// written (UTF-8 cannot carry a lone surrogate); true when there was one.
bool ReplaceLoneSurrogates(QString &text) {
    bool found = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar::ReplacementCharacter;
            found = true;
        }
    }
    return found;
}

QString DecodeFile(const QByteArray &file, QStringList &problems) {
    const auto *b = reinterpret_cast<const unsigned char *>(file.constData());
    const qsizetype n = file.size();
    std::optional<QStringConverter::Encoding> encoding;
    if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE)
        encoding = QStringConverter::Utf16LE;
    else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF)
        encoding = QStringConverter::Utf16BE;
    else if (n >= 2 && b[0] != 0 && b[1] == 0)
        encoding = QStringConverter::Utf16LE;
    else if (n >= 2 && b[0] == 0 && b[1] != 0)
        encoding = QStringConverter::Utf16BE;
    if (encoding) {
        QStringDecoder decoder(*encoding);
        QString text = decoder(file);
        const bool lone = ReplaceLoneSurrogates(text);
        if (decoder.hasError() || lone)
            problems << QStringLiteral("the file is not valid UTF-16 text");
        return text;
    }
    QStringDecoder decoder(QStringConverter::Utf8);
    QString text = decoder(file);
    if (!decoder.hasError()) return text;
    // 8-bit files of the older format are taken as Latin-1; any other invalid UTF-8 is a fault.
    if (file.startsWith(kHeader4)) return QString::fromLatin1(file);
    problems << QStringLiteral("the file is not valid UTF-8 text");
    return text;
}

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// A quoted name or text starting at s[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(const QString &s, int &pos, QString &out) {
    out.clear();
    for (int i = pos + 1; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'"') {
            pos = i + 1;
            return true;
        }
        if (c == u'\\' && i + 1 < s.size()) {
            const QChar e = s[++i];
            if (e == u'\\' || e == u'"')
                out += e;
            else if (e == u'n')
                out += u'\n';
            else if (e == u'r')
                out += u'\r';
            else {  // not an escape: a lone backslash as typed by hand
                out += u'\\';
                out += e;
            }
            continue;
        }
        out += c;
    }
    return false;
}

QString Quote(const QString &s) {
    QString out = QStringLiteral("\"");
    for (QChar c : s) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'"')
            out += QStringLiteral("\\\"");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    out += u'"';
    return out;
}

struct ParsedData {
    bool Remove = false;
    quint32 Type = RegType::None;
    QByteArray Data;
};

QByteArray Latin1ToUtf16(const QByteArray &bytes) {
    // 8-bit text of an older export, zero-terminated or not, as UTF-16LE.
    QByteArray out;
    for (char ch : bytes) {
        out.append(ch);
        out.append('\0');
    }
    return out;
}

// atEnd: the data is the last thing of a file whose last line has no line break, where a file
// cut short ends; hex data that stops there half-way through a byte (one digit) is the cut, not a
// value. Elsewhere a one-digit byte is read, as the registry editor reads it.
std::optional<ParsedData> ParseData(const QString &text, bool eightBit, bool atEnd, QString &why) {
    const QString s = text.trimmed();
    ParsedData d;
    if (s == u"-") {
        d.Remove = true;
        return d;
    }
    if (s.startsWith(u'"')) {
        int pos = 0;
        QString value;
        if (!ParseQuoted(s, pos, value)) {
            why = QStringLiteral("a text without its closing quote");
            return std::nullopt;
        }
        if (!s.mid(pos).trimmed().isEmpty()) {
            why = QStringLiteral("characters after a text's closing quote");
            return std::nullopt;
        }
        d.Type = RegType::Sz;
        d.Data = RegFileFormat::TextToData(value);
        return d;
    }
    if (s.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
        const QString digits = s.mid(6).trimmed();
        bool ok = digits.size() >= 1 && digits.size() <= 8;
        for (QChar c : digits) ok = ok && IsHexDigit(c);
        if (!ok) {
            why = QStringLiteral("a dword that is not 1 to 8 hexadecimal digits");
            return std::nullopt;
        }
        const quint32 v = digits.toUInt(nullptr, 16);
        d.Type = RegType::Dword;
        for (int i = 0; i < 4; ++i) d.Data.append(static_cast<char>((v >> (8 * i)) & 0xFF));
        return d;
    }
    if (s.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive)) {
        int pos = 3;
        d.Type = RegType::Binary;
        if (pos < s.size() && s[pos] == u'(') {
            const int close = s.indexOf(u')', pos);
            const QString digits = close < 0 ? QString() : s.mid(pos + 1, close - pos - 1);
            bool ok = !digits.isEmpty() && digits.size() <= 8;
            for (QChar c : digits) ok = ok && IsHexDigit(c);
            if (!ok) {
                why = QStringLiteral("a hex type that is not a hexadecimal number");
                return std::nullopt;
            }
            d.Type = digits.toUInt(nullptr, 16);
            pos = close + 1;
        }
        if (pos >= s.size() || s[pos] != u':') {
            why = QStringLiteral("hex data without its colon");
            return std::nullopt;
        }
        const QStringList bytes = s.mid(pos + 1).split(u',');
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const QString b = bytes[i].trimmed();
            if (b.isEmpty()) continue;  // a trailing comma
            if (b.size() > 2 || !IsHexDigit(b[0]) || (b.size() == 2 && !IsHexDigit(b[1]))) {
                why = QStringLiteral("hex data with \"%1\", which is not a byte").arg(b.left(16));
                return std::nullopt;
            }
            if (atEnd && b.size() == 1 && i + 1 == bytes.size()) {
                why = QStringLiteral(
                    "hex data cut short at the end of the file, half-way through a byte");
                return std::nullopt;
            }
            d.Data.append(static_cast<char>(b.toUInt(nullptr, 16)));
        }
        if (eightBit &&
            (d.Type == RegType::Sz || d.Type == RegType::ExpandSz || d.Type == RegType::MultiSz))
            d.Data = Latin1ToUtf16(d.Data);
        return d;
    }
    why = QStringLiteral("a value that is neither text, dword, hex nor -");
    return std::nullopt;
}

// Text data that can be written as "text": valid UTF-16 ending in its one zero, no line break.
std::optional<QString> PlainText(const QByteArray &data) {
    if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
    const qsizetype units = data.size() / 2;
    std::u16string u(static_cast<size_t>(units), u'\0');
    std::memcpy(u.data(), data.constData(), static_cast<size_t>(data.size()));
    if (u.back() != u'\0') return std::nullopt;
    u.pop_back();
    for (char16_t c : u)
        if (c == u'\0' || c == u'\n' || c == u'\r') return std::nullopt;
    QString text = QString::fromUtf16(u.data(), static_cast<qsizetype>(u.size()));
    if (RegFileFormat::TextToData(text) != data) return std::nullopt;  // lone surrogates
    return text;
}

void WriteHex(QString &out, const QString &prefix, const QByteArray &data) {
    out += prefix;
    int lineLength = static_cast<int>(prefix.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out += QStringLiteral("%1").arg(static_cast<unsigned char>(data[i]), 2, 16, QChar(u'0'));
        if (i + 1 == data.size()) break;
        out += u',';
        lineLength += 3;
        if (lineLength >= kHexLineLimit) {
            out += QStringLiteral("\\\n  ");
            lineLength = 2;
        }
    }
    out += u'\n';
}

void WriteValue(QString &out, const RegistryKey::Value &v) {
    const QString name = v.Name.isEmpty() ? QStringLiteral("@") : Quote(v.Name);
    if (v.Type == RegType::Sz) {
        if (auto text = PlainText(v.Data)) {
            out += name + u'=' + Quote(*text) + u'\n';
            return;
        }
    }
    if (v.Type == RegType::Dword && v.Data.size() == 4) {
        quint32 n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.Data[i]);
        out += name + QStringLiteral("=dword:%1\n").arg(n, 8, 16, QChar(u'0'));
        return;
    }
    const QString type = v.Type == RegType::Binary ? QStringLiteral("hex:")
                                                   : QStringLiteral("hex(%1):").arg(v.Type, 0, 16);
    WriteHex(out, name + u'=' + type, v.Data);
}

void WriteKey(QString &out, const RegistryKey &key, const QString &path, int depth) {
    // Every key below a hive gets its section, empty ones too; a hive only when it holds values.
    if (depth >= 2 || (depth == 1 && !key.Values.empty())) {
        out += u'[' + path + QStringLiteral("]\n");
        for (const RegistryKey::Value &v : key.Values) WriteValue(out, v);
        out += u'\n';
    }
    for (const RegistryKey &sub : key.Subkeys)
        WriteKey(out, sub, path.isEmpty() ? sub.Name : path + u'\\' + sub.Name, depth + 1);
}

}  // namespace

QByteArray RegFileFormat::TextToData(const QString &text) {
    QByteArray out;
    out.reserve((text.size() + 1) * 2);
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    out.append('\0');
    out.append('\0');
    return out;
}

QString RegFileFormat::DataToText(const QByteArray &data) {
    const qsizetype units = data.size() / 2;
    std::u16string u(static_cast<size_t>(units), u'\0');
    if (units > 0) std::memcpy(u.data(), data.constData(), static_cast<size_t>(units * 2));
    const size_t end = u.find(u'\0');
    if (end != std::u16string::npos) u.resize(end);
    return QString::fromUtf16(u.data(), static_cast<qsizetype>(u.size()));
}

QStringList RegFileFormat::Apply(const QByteArray &file, RegistryKey &root) {
    QStringList problems;
    const QString text = DecodeFile(file, problems);
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        if (line.endsWith(u'\r')) line.chop(1);
    // Where a file cut short ends: a last line without its line break.
    const bool unterminated = !text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r');

    RegistryKey *current = nullptr;
    bool inBadSection = false;  // values of a section that could not be read are skipped quietly
    bool eightBit = false;
    bool headerChecked = false;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString t = lines[i].trimmed();
        if (t.isEmpty() || t.startsWith(u';')) continue;
        auto fault = [&](const QString &what) {
            problems << QStringLiteral("line %1: %2").arg(lineNo).arg(what);
        };
        if (!headerChecked) {
            headerChecked = true;
            if (t == QLatin1String(kHeader5)) continue;
            if (t == QLatin1String(kHeader4)) {
                eightBit = true;
                continue;
            }
            fault(QStringLiteral("the file does not begin with \"%1\"").arg(kHeader5));
        }
        if (t.startsWith(u'[')) {
            current = nullptr;
            inBadSection = true;
            const int close = t.lastIndexOf(u']');
            if (close < 0) {
                fault(QStringLiteral("a key line without its closing bracket"));
                continue;
            }
            QString inner = t.mid(1, close - 1);
            const bool remove = inner.startsWith(u'-');
            if (remove) inner.remove(0, 1);
            QStringList path = inner.split(u'\\', Qt::SkipEmptyParts);
            if (path.isEmpty() ||
                !path[0].startsWith(QStringLiteral("HKEY_"), Qt::CaseInsensitive)) {
                fault(QStringLiteral(
                    "a key that does not start with a root such as HKEY_CURRENT_USER"));
                continue;
            }
            path[0] = path[0].toUpper();
            inBadSection = false;
            if (remove) {
                if (path.size() > 1) root.Remove(path);
                inBadSection = true;  // a deleted key takes no values
            } else {
                current = &root.FindOrCreate(path);
            }
            continue;
        }
        if (t.startsWith(u'"') || t.startsWith(u'@')) {
            QString name;
            int pos = 1;
            if (t.startsWith(u'"')) {
                pos = 0;
                if (!ParseQuoted(t, pos, name)) {
                    fault(QStringLiteral("a value name without its closing quote"));
                    continue;
                }
            }
            while (pos < t.size() && t[pos].isSpace()) ++pos;
            if (pos >= t.size() || t[pos] != u'=') {
                fault(QStringLiteral("a value name not followed by ="));
                continue;
            }
            QString data = t.mid(pos + 1).trimmed();
            bool continuesPastEnd = false;  // a "\" continuation with no line to continue it
            if (data.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive)) {
                while (data.endsWith(u'\\')) {
                    data.chop(1);
                    if (i + 1 >= lines.size() || lines[i + 1].trimmed().isEmpty()) {
                        continuesPastEnd = true;
                        break;
                    }
                    data += lines[++i].trimmed();
                }
            }
            if (!current) {
                if (!inBadSection) fault(QStringLiteral("a value before the first key"));
                continue;
            }
            if (continuesPastEnd) {
                fault(
                    QStringLiteral("hex data cut short: its last line ends in \\ and no line "
                                   "continues it"));
                continue;
            }
            QString why;
            const bool atEnd = unterminated && i + 1 == lines.size();
            const std::optional<ParsedData> parsed = ParseData(data, eightBit, atEnd, why);
            if (!parsed) {
                fault(why);
                continue;
            }
            if (parsed->Remove)
                current->DeleteValue(name);
            else
                current->SetValue(name, parsed->Type, parsed->Data);
            continue;
        }
        fault(QStringLiteral("a line that is neither a key nor a value"));
    }
    return problems;
}

QByteArray RegFileFormat::Write(const RegistryKey &root) {
    QString out = QLatin1String(kHeader5) + QStringLiteral("\n\n");
    WriteKey(out, root, QString(), 0);
    return out.toUtf8();
}

}  // namespace kivra
