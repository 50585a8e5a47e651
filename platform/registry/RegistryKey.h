#pragma once
// One key of the settings tree: its name as created, its values in the order they were first
// written, its subkeys in the order they were created. Names of keys and values are compared
// without regard to case; the case they were created with is kept.
//
// A plain value type, copied freely (the whole tree is a few kilobytes). Not thread-safe on its
// own; RegistryStore guards the tree it holds. Pointers returned by the finders stay valid only
// until the next change of the tree.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace kivra {

// Value types, with the numbers the Windows registry and its export files use.
namespace RegType {
constexpr quint32 None = 0;
constexpr quint32 Sz = 1;        // text, UTF-16LE with a terminating zero
constexpr quint32 ExpandSz = 2;  // expandable text, same layout
constexpr quint32 Binary = 3;
constexpr quint32 Dword = 4;  // 32-bit little-endian
constexpr quint32 MultiSz = 7;
constexpr quint32 Qword = 11;
}  // namespace RegType

class RegistryKey {
public:
    struct Value {
        QString Name;  // "" is the key's default value
        quint32 Type = RegType::None;
        QByteArray Data;  // the bytes as the registry holds them
    };

    explicit RegistryKey(QString keyName = QString());

    static bool SameName(const QString &a, const QString &b);

    // The key at path below this one (empty path: this key), or null.
    const RegistryKey *Find(const QStringList &path) const;
    RegistryKey *Find(const QStringList &path);
    // The key at path, created with any missing keys on the way.
    RegistryKey &FindOrCreate(const QStringList &path);
    // Deletes the key at path (not empty) with everything below it; false when there is none.
    bool Remove(const QStringList &path);

    const Value *FindValue(const QString &valueName) const;
    // Sets a value; an existing one keeps its name's case and its place. False when the value was
    // already exactly so.
    bool SetValue(const QString &valueName, quint32 type, const QByteArray &data);
    bool DeleteValue(const QString &valueName);

    QString Name;
    std::vector<Value> Values;
    std::vector<RegistryKey> Subkeys;

private:
    RegistryKey *Child(const QString &childName);
};

}  // namespace kivra
