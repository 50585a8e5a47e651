#pragma once
// TKnownServers: the known servers and their saved logons in the settings store, below
// "\Software\Vornix\Servers\":
//   - value "Default Server" (text): the server of the last successful logon;
//   - subkey "List Of Servers": one value per known server, named after it (its data unused);
//   - one key per server, the name appended as typed (so HOST\INSTANCE lies below HOST), holding
//     "UseWindowsNT" (integer, 1 = Windows authentication), "UserID" (text, SQL logins only) and
//     "Password" (binary: the password's UTF-8 bytes, no terminator; only when it was saved).
//
// Reader rule, shared by every reader: a value counts only when it is present with its own type
// (an integer, a plain text (not an expandable one), binary data); otherwise it is absent.
//
// A name whose key would be the servers key itself (empty, or only "\") is never written or
// deleted: as a key it would stand for every known server at once.
//
// Threads: main thread (the settings store's TRegistry objects belong to one thread). Errors of
// the store (a value of another type where one is read regardless, a file that cannot be saved)
// propagate as ERegistryException.

#include <string>
#include <vector>

// A saved logon as read back; each Has... says whether the value passed the reader rule.
struct stSavedLogon {
    bool KeyExists = false;
    bool HasUseWindowsNT = false;
    bool UseWindowsNT = false;  // the stored value equals 1
    bool HasUserID = false;
    std::string UserID;
    bool HasPassword = false;
    std::string Password;  // the stored bytes up to the first zero byte, however many
};

class TKnownServers {
public:
    static const char *const kServersKey;  // "\Software\Vornix\Servers\"
    static const char *const kListKey;     // its subkey "List Of Servers"

    static std::string ServerKey(const std::string &server);
    // False for a name whose key would be the servers key itself.
    static bool IsStorableName(const std::string &server);

    // The value names of "List Of Servers" in the order the store lists them; none without it.
    static std::vector<std::string> ListKnownServers();
    // "Default Server" when it is a plain text.
    static bool ReadDefaultServer(std::string &server);
    static stSavedLogon ReadSavedLogon(const std::string &server);

    // After a successful logon: the server's key keeps only the new logon (its own values are
    // replaced; the keys of HOST\INSTANCE servers below it stay), the server joins the known list
    // and becomes the default server. A key that cannot be opened or created is skipped.
    static void SaveLogon(const std::string &server, bool windowsAuth, const std::string &userId,
                          bool savePassword, const std::string &password);

    // Forgets a server: its saved logon and its entry in the known list. The keys of HOST\INSTANCE
    // servers below its key stay, as they do when a logon is saved.
    static void RemoveKnownServer(const std::string &server);
};
