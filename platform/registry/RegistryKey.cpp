#include "RegistryKey.h"

#include <algorithm>

namespace kivra {

RegistryKey::RegistryKey(QString keyName) : name(std::move(keyName)) {}

bool RegistryKey::SameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

RegistryKey *RegistryKey::Child(const QString &childName) {
    for (RegistryKey &k : subkeys)
        if (SameName(k.name, childName)) return &k;
    return nullptr;
}

const RegistryKey *RegistryKey::Find(const QStringList &path) const {
    return const_cast<RegistryKey *>(this)->Find(path);
}

RegistryKey *RegistryKey::Find(const QStringList &path) {
    RegistryKey *k = this;
    for (const QString &part : path) {
        k = k->Child(part);
        if (!k) return nullptr;
    }
    return k;
}

RegistryKey &RegistryKey::FindOrCreate(const QStringList &path) {
    RegistryKey *k = this;
    for (const QString &part : path) {
        RegistryKey *next = k->Child(part);
        if (!next) {
            k->subkeys.emplace_back(part);
            next = &k->subkeys.back();
        }
        k = next;
    }
    return *k;
}

bool RegistryKey::Remove(const QStringList &path) {
    if (path.isEmpty()) return false;
    RegistryKey *parent = Find(path.mid(0, path.size() - 1));
    if (!parent) return false;
    auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                           [&](const RegistryKey &k) { return SameName(k.name, path.last()); });
    if (it == parent->subkeys.end()) return false;
    parent->subkeys.erase(it);
    return true;
}

const RegistryKey::Value *RegistryKey::FindValue(const QString &valueName) const {
    for (const Value &v : values)
        if (SameName(v.name, valueName)) return &v;
    return nullptr;
}

bool RegistryKey::SetValue(const QString &valueName, quint32 type, const QByteArray &data) {
    for (Value &v : values) {
        if (!SameName(v.name, valueName)) continue;
        if (v.type == type && v.data == data) return false;
        v.type = type;
        v.data = data;
        return true;
    }
    values.push_back(Value{valueName, type, data});
    return true;
}

bool RegistryKey::DeleteValue(const QString &valueName) {
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const Value &v) { return SameName(v.name, valueName); });
    if (it == values.end()) return false;
    values.erase(it);
    return true;
}

}  // namespace kivra
