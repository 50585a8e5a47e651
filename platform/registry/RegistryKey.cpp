#include "RegistryKey.h"

#include <algorithm>

namespace kivra {

RegistryKey::RegistryKey(QString keyName) : Name(std::move(keyName)) {}

bool RegistryKey::SameName(const QString &a, const QString &b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

RegistryKey *RegistryKey::Child(const QString &childName) {
    for (RegistryKey &k : Subkeys)
        if (SameName(k.Name, childName)) return &k;
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
            k->Subkeys.emplace_back(part);
            next = &k->Subkeys.back();
        }
        k = next;
    }
    return *k;
}

bool RegistryKey::Remove(const QStringList &path) {
    if (path.isEmpty()) return false;
    RegistryKey *parent = Find(path.mid(0, path.size() - 1));
    if (!parent) return false;
    auto it = std::find_if(parent->Subkeys.begin(), parent->Subkeys.end(),
                           [&](const RegistryKey &k) { return SameName(k.Name, path.last()); });
    if (it == parent->Subkeys.end()) return false;
    parent->Subkeys.erase(it);
    return true;
}

const RegistryKey::Value *RegistryKey::FindValue(const QString &valueName) const {
    for (const Value &v : Values)
        if (SameName(v.Name, valueName)) return &v;
    return nullptr;
}

bool RegistryKey::SetValue(const QString &valueName, quint32 type, const QByteArray &data) {
    for (Value &v : Values) {
        if (!SameName(v.Name, valueName)) continue;
        if (v.Type == type && v.Data == data) return false;
        v.Type = type;
        v.Data = data;
        return true;
    }
    Values.push_back(Value{valueName, type, data});
    return true;
}

bool RegistryKey::DeleteValue(const QString &valueName) {
    auto it = std::find_if(Values.begin(), Values.end(),
                           [&](const Value &v) { return SameName(v.Name, valueName); });
    if (it == Values.end()) return false;
    Values.erase(it);
    return true;
}

}  // namespace kivra
