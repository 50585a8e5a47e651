#include "TRegistry.h"

#include <QDir>
#include <cstring>
#include <optional>

#include "RegFileFormat.h"
#include "RegistryKey.h"
#include "RegistryStore.h"

using kivra::RegFileFormat;
using kivra::RegistryKey;
using kivra::RegistryStore;
namespace RegType = kivra::RegType;

namespace {

const QString kCurrentUser = QStringLiteral("HKEY_CURRENT_USER");

QString Name(const std::string &s) { return QString::fromStdString(s); }

bool ValidKeyName(const QString &part) {
    return !part.contains(u'\n') && !part.contains(u'\r') && !part.contains(QChar(u'\0'));
}

std::string Quoted(const std::string &name) { return "'" + name + "'"; }

// Names the settings file too: the user is to find and mend the value.
[[noreturn]] void WrongType(const std::string &name, const QStringList &keyPath) {
    throw ERegistryException(
        "Invalid data type for " + Quoted(name) + " in the key \\" +
        keyPath.mid(1).join(u'\\').toStdString() + " of the settings file " +
        QDir::toNativeSeparators(RegistryStore::Instance().FilePath()).toStdString());
}

}  // namespace

TRegistry::TRegistry() : Access(KEY_ALL_ACCESS) {}

TRegistry::TRegistry(unsigned access) : Access(access) {}

bool TRegistry::Resolve(const std::string &key, QStringList &path) const {
    const QString k = Name(key);
    const QStringList parts = k.split(u'\\', Qt::SkipEmptyParts);
    for (const QString &part : parts)
        if (!ValidKeyName(part)) return false;
    if (k.startsWith(u'\\') || !KeyOpen)
        path = QStringList{kCurrentUser};
    else
        path = Path;
    path += parts;
    return true;
}

bool TRegistry::Open(const std::string &key, bool canCreate, bool readOnly) {
    QStringList path;
    if (!Resolve(key, path)) return false;
    bool exists = false;
    RegistryStore::Instance().Read(
        [&](const RegistryKey &root) { exists = path.size() == 1 || root.Find(path) != nullptr; });
    if (!exists) {
        if (!canCreate) return false;
        try {
            RegistryStore::Instance().Modify([&](RegistryKey &root) {
                if (root.Find(path)) return false;
                root.FindOrCreate(path);
                return true;
            });
        } catch (const ERegistryException &e) {
            // The settings cannot be saved: said, not taken for a key that merely does not open.
            throw ERegistryException("Failed to create key " + Quoted(key) + ": " + e.Message);
        }
    }
    Path = path;
    KeyOpen = true;
    ReadOnly = readOnly;
    return true;
}

bool TRegistry::OpenKey(const std::string &key, bool canCreate) {
    return Open(key, canCreate, (Access & KEY_SET_VALUE) == 0);
}

bool TRegistry::OpenKeyReadOnly(const std::string &key) { return Open(key, false, true); }

void TRegistry::CloseKey() {
    KeyOpen = false;
    ReadOnly = false;
    Path.clear();
}

bool TRegistry::KeyExists(const std::string &key) {
    QStringList path;
    if (!Resolve(key, path)) return false;
    bool exists = false;
    RegistryStore::Instance().Read(
        [&](const RegistryKey &root) { exists = path.size() == 1 || root.Find(path) != nullptr; });
    return exists;
}

std::string TRegistry::CurrentPath() const {
    if (!KeyOpen) return std::string();
    return Path.mid(1).join(u'\\').toStdString();
}

namespace {

std::optional<RegistryKey::Value> FetchValue(const QStringList &path, bool open,
                                             const std::string &name) {
    std::optional<RegistryKey::Value> value;
    if (!open) return value;
    RegistryStore::Instance().Read([&](const RegistryKey &root) {
        const RegistryKey *key = root.Find(path);
        if (!key) return;
        if (const RegistryKey::Value *v = key->FindValue(Name(name))) value = *v;
    });
    return value;
}

}  // namespace

bool TRegistry::ValueExists(const std::string &name) {
    return FetchValue(Path, KeyOpen, name).has_value();
}

void TRegistry::GetValueNames(std::vector<std::string> &names) {
    names.clear();
    if (!KeyOpen) return;
    RegistryStore::Instance().Read([&](const RegistryKey &root) {
        if (const RegistryKey *key = root.Find(Path))
            for (const RegistryKey::Value &v : key->Values) names.push_back(v.Name.toStdString());
    });
}

void TRegistry::GetKeyNames(std::vector<std::string> &names) {
    names.clear();
    if (!KeyOpen) return;
    RegistryStore::Instance().Read([&](const RegistryKey &root) {
        if (const RegistryKey *key = root.Find(Path))
            for (const RegistryKey &k : key->Subkeys) names.push_back(k.Name.toStdString());
    });
}

bool TRegistry::HasSubKeys() {
    std::vector<std::string> names;
    GetKeyNames(names);
    return !names.empty();
}

TRegDataType TRegistry::GetDataType(const std::string &name) {
    const auto v = FetchValue(Path, KeyOpen, name);
    if (!v) return rdUnknown;
    switch (v->Type) {
    case RegType::Sz: return rdString;
    case RegType::ExpandSz: return rdExpandString;
    case RegType::Dword: return rdInteger;
    case RegType::Binary: return rdBinary;
    default: return rdUnknown;
    }
}

int TRegistry::GetDataSize(const std::string &name) {
    const auto v = FetchValue(Path, KeyOpen, name);
    return v ? static_cast<int>(v->Data.size()) : -1;
}

int TRegistry::ReadInteger(const std::string &name) {
    const auto v = FetchValue(Path, KeyOpen, name);
    if (!v) throw ERegistryException("Failed to get data for " + Quoted(name));
    if (v->Type != RegType::Dword || v->Data.size() != 4) WrongType(name, Path);
    quint32 n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v->Data[i]);
    return static_cast<int>(n);
}

bool TRegistry::ReadBool(const std::string &name) { return ReadInteger(name) != 0; }

std::string TRegistry::ReadString(const std::string &name) {
    const auto v = FetchValue(Path, KeyOpen, name);
    if (!v || v->Data.isEmpty()) return std::string();
    if (v->Type != RegType::Sz && v->Type != RegType::ExpandSz) WrongType(name, Path);
    return RegFileFormat::DataToText(v->Data).toStdString();
}

int TRegistry::ReadBinaryData(const std::string &name, void *buffer, int bufSize) {
    const auto v = FetchValue(Path, KeyOpen, name);
    if (!v) return 0;
    if (v->Type == RegType::Sz || v->Type == RegType::ExpandSz || v->Type == RegType::Dword)
        WrongType(name, Path);
    const qsizetype size = v->Data.size();
    if (size > bufSize)
        throw ERegistryException("The value " + Quoted(name) + " holds " + std::to_string(size) +
                                 " bytes, more than the " +
                                 std::to_string(bufSize < 0 ? 0 : bufSize) +
                                 " bytes it is read into");
    if (size > 0) {
        if (!buffer) throw ERegistryException("No buffer to read " + Quoted(name) + " into");
        std::memcpy(buffer, v->Data.constData(), static_cast<size_t>(size));
    }
    return static_cast<int>(size);
}

void TRegistry::Write(const std::string &name, unsigned type, const QByteArray &data) {
    const std::string failed = "Failed to set data for " + Quoted(name);
    if (!KeyOpen) throw ERegistryException(failed + ": no key is open");
    if (ReadOnly) throw ERegistryException(failed + ": the key is open for reading only");
    if (name.find('\0') != std::string::npos)
        throw ERegistryException(failed + ": a value name cannot hold a zero character");
    const QString valueName = Name(name);
    try {
        RegistryStore::Instance().Modify([&](RegistryKey &root) {
            // A key deleted meanwhile (by another copy of the program) is made again: the value
            // the caller writes is not dropped.
            return root.FindOrCreate(Path).SetValue(valueName, type, data);
        });
    } catch (const ERegistryException &e) {
        throw ERegistryException(failed + ": " + e.Message);
    }
}

void TRegistry::WriteInteger(const std::string &name, int value) {
    const auto n = static_cast<quint32>(value);
    QByteArray data;
    for (int i = 0; i < 4; ++i) data.append(static_cast<char>((n >> (8 * i)) & 0xFF));
    Write(name, RegType::Dword, data);
}

void TRegistry::WriteBool(const std::string &name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteString(const std::string &name, const std::string &value) {
    Write(name, RegType::Sz, RegFileFormat::TextToData(Name(value)));
}

void TRegistry::WriteExpandString(const std::string &name, const std::string &value) {
    Write(name, RegType::ExpandSz, RegFileFormat::TextToData(Name(value)));
}

void TRegistry::WriteBinaryData(const std::string &name, const void *buffer, int bufSize) {
    if (bufSize < 0 || (bufSize > 0 && !buffer))
        throw ERegistryException("Failed to set data for " + Quoted(name) + ": no data");
    Write(name, RegType::Binary,
          QByteArray(static_cast<const char *>(buffer), bufSize > 0 ? bufSize : 0));
}

bool TRegistry::DeleteValue(const std::string &name) {
    if (!KeyOpen || ReadOnly) return false;
    try {
        return RegistryStore::Instance().Modify([&](RegistryKey &root) {
            RegistryKey *key = root.Find(Path);
            return key && key->DeleteValue(Name(name));
        });
    } catch (const ERegistryException &) {
        return false;
    }
}

bool TRegistry::DeleteKey(const std::string &key) {
    QStringList path;
    if (!Resolve(key, path) || path.size() <= 1) return false;
    if ((Access & KEY_SET_VALUE) == 0) return false;
    try {
        return RegistryStore::Instance().Modify(
            [&](RegistryKey &root) { return root.Remove(path); });
    } catch (const ERegistryException &) {
        return false;
    }
}
