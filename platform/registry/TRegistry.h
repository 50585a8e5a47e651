#pragma once
// The current user's settings store, in place of the system registry: keys by path
// ("\SOFTWARE\Vornix\Kivrawatch", "\Software\Vornix\Servers\HOST\INSTANCE"), typed values
// (integers as REG_DWORD, texts as REG_SZ, expandable texts as REG_EXPAND_SZ, binary data as
// REG_BINARY; values of other types are kept as they are). Key and value names are compared without
// regard to case and keep the case they were created with; value names are listed in the order the
// values were first written.
//
// Paths: one starting with "\" is taken from the root key, any other from the open key (or the root
// when no key is open); empty parts ("\Servers\" + "") are skipped. A key name holding a line break
// or a zero cannot exist: such a path does not open.
//
// Texts are UTF-8 on this side. Every change is saved to the settings file at once (RegistryStore
// says where the file is and how changes are kept safe; RegistryStore::SetFilePath or the
// environment variable KIVRA_REGISTRY_FILE points it elsewhere, which tests do).
//
// Failure behaviour as the framework's registry class has it: a missing key makes OpenKey /
// OpenKeyReadOnly return false; a read of the wrong type (its message names the value, its key and
// the settings file), ReadInteger of a missing value, a binary value larger than the caller's
// buffer, and any write that cannot be done (no open key, a key opened read-only, the file cannot
// be saved, also when OpenKey would create the key) raise ERegistryException.
//
// One TRegistry object belongs to one thread (the main thread in this program); the store behind
// it is shared and locked.

#include <QStringList>
#include <string>
#include <vector>

#include "ERegistryException.h"

enum TRootKey : unsigned { HKEY_CURRENT_USER = 0x80000001u };

// Access rights, the Win32 values; what matters here is whether KEY_SET_VALUE is in them.
enum TRegAccess : unsigned {
    KEY_QUERY_VALUE = 0x0001,
    KEY_SET_VALUE = 0x0002,
    KEY_CREATE_SUB_KEY = 0x0004,
    KEY_ENUMERATE_SUB_KEYS = 0x0008,
    KEY_READ = 0x20019,
    KEY_WRITE = 0x20006,
    KEY_ALL_ACCESS = 0xF003F,
};

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry {
public:
    TRegistry();  // KEY_ALL_ACCESS
    explicit TRegistry(unsigned access);

    TRootKey RootKey = HKEY_CURRENT_USER;  // the only root of this store
    unsigned Access;                       // rights OpenKey opens with

    // Opens key, creating it (and any missing key on the way) when canCreate. False when it does
    // not exist and may not be created, or its name cannot be a key's; raises ERegistryException
    // when it would be created but the settings file cannot be saved (so a save is never lost
    // without a word).
    bool OpenKey(const std::string &key, bool canCreate);
    bool OpenKeyReadOnly(const std::string &key);
    void CloseKey();
    bool KeyExists(const std::string &key);
    std::string CurrentPath() const;  // the open key's path without the root, "" when none

    // Operations on the open key's values. name "" is the key's default value.
    bool ValueExists(const std::string &name);
    void GetValueNames(std::vector<std::string> &names);  // in the order written
    void GetKeyNames(std::vector<std::string> &names);    // in the order created
    bool HasSubKeys();
    TRegDataType GetDataType(const std::string &name);  // rdUnknown when missing
    int GetDataSize(const std::string &name);           // bytes; -1 when missing. Texts count
                                                        // UTF-16 units with their zero, as stored.

    int ReadInteger(const std::string &name);  // REG_DWORD only
    void WriteInteger(const std::string &name, int value);
    bool ReadBool(const std::string &name);  // an integer, true when not 0
    void WriteBool(const std::string &name, bool value);
    // REG_SZ or REG_EXPAND_SZ (returned unexpanded), up to its first zero; "" when missing.
    std::string ReadString(const std::string &name);
    void WriteString(const std::string &name, const std::string &value);
    void WriteExpandString(const std::string &name, const std::string &value);
    // Copies a REG_BINARY value (or one of a type this store does not interpret) into buffer and
    // returns its size; 0 when missing. Raises when it holds more than bufSize bytes: nothing is
    // written past the buffer.
    int ReadBinaryData(const std::string &name, void *buffer, int bufSize);
    void WriteBinaryData(const std::string &name, const void *buffer, int bufSize);

    bool DeleteValue(const std::string &name);  // false when missing or not possible
    // Deletes key (relative or from the root) with everything below it; false when it does not
    // exist, is the root, or cannot be deleted (no write access, the file cannot be saved).
    bool DeleteKey(const std::string &key);

private:
    bool Resolve(const std::string &key, QStringList &path) const;
    bool Open(const std::string &key, bool canCreate, bool readOnly);
    void Write(const std::string &name, unsigned type, const QByteArray &data);

    bool KeyOpen = false;
    bool ReadOnly = false;
    QStringList Path;  // the open key, the root's name first
};
