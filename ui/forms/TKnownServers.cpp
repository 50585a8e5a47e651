#include "TKnownServers.h"

#include "TRegistry.h"

#include <algorithm>

const char *const TKnownServers::kServersKey = "\\Software\\Vornix\\Servers\\";
const char *const TKnownServers::kListKey = "\\Software\\Vornix\\Servers\\List Of Servers";

namespace {

const char *const kDefaultServer = "Default Server";
const char *const kUseWindowsNT = "UseWindowsNT";
const char *const kUserID = "UserID";
const char *const kPassword = "Password";

// Deletes every value of the open key; its subkeys stay.
void DeleteValues(TRegistry &reg) {
    std::vector<std::string> names;
    reg.GetValueNames(names);
    for (const std::string &name : names) reg.DeleteValue(name);
}

}  // namespace

std::string TKnownServers::ServerKey(const std::string &server) { return kServersKey + server; }

bool TKnownServers::IsStorableName(const std::string &server) {
    return std::any_of(server.begin(), server.end(), [](char c) { return c != '\\'; });
}

std::vector<std::string> TKnownServers::ListKnownServers() {
    std::vector<std::string> names;
    TRegistry reg(KEY_READ);
    if (reg.OpenKeyReadOnly(kListKey)) {
        reg.GetValueNames(names);
        reg.CloseKey();
    }
    return names;
}

bool TKnownServers::ReadDefaultServer(std::string &server) {
    TRegistry reg(KEY_READ);
    if (!reg.OpenKeyReadOnly(kServersKey)) return false;
    const bool found = reg.GetDataType(kDefaultServer) == rdString;
    if (found) server = reg.ReadString(kDefaultServer);
    reg.CloseKey();
    return found;
}

stSavedLogon TKnownServers::ReadSavedLogon(const std::string &server) {
    stSavedLogon logon;
    if (!IsStorableName(server)) return logon;
    TRegistry reg(KEY_READ);
    if (!reg.OpenKeyReadOnly(ServerKey(server))) return logon;
    logon.KeyExists = true;
    if (reg.GetDataType(kUseWindowsNT) == rdInteger) {
        logon.HasUseWindowsNT = true;
        logon.UseWindowsNT = reg.ReadInteger(kUseWindowsNT) == 1;
    }
    if (reg.GetDataType(kUserID) == rdString) {
        logon.HasUserID = true;
        logon.UserID = reg.ReadString(kUserID);
    }
    if (reg.GetDataType(kPassword) == rdBinary) {
        // Read whole, into a buffer of the value's own size.
        std::string bytes(static_cast<std::size_t>(std::max(0, reg.GetDataSize(kPassword))), '\0');
        const int size =
            reg.ReadBinaryData(kPassword, bytes.data(), static_cast<int>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(size));
        logon.HasPassword = true;
        logon.Password = bytes.substr(0, bytes.find('\0'));
    }
    reg.CloseKey();
    return logon;
}

void TKnownServers::SaveLogon(const std::string &server, bool windowsAuth,
                              const std::string &userId, bool savePassword,
                              const std::string &password) {
    if (!IsStorableName(server)) return;
    const std::string key = ServerKey(server);
    TRegistry reg(KEY_ALL_ACCESS);
    if (reg.KeyExists(key) && reg.OpenKey(key, false)) {
        DeleteValues(reg);
        reg.CloseKey();
    }
    if (!reg.OpenKey(key, true)) return;
    reg.WriteInteger(kUseWindowsNT, windowsAuth ? 1 : 0);
    if (!windowsAuth) {
        reg.WriteString(kUserID, userId);
        if (savePassword)
            reg.WriteBinaryData(kPassword, password.data(), static_cast<int>(password.size()));
    }
    reg.CloseKey();

    if (reg.OpenKey(kListKey, true)) {
        reg.WriteString(server, std::string());
        reg.CloseKey();
    }
    if (reg.OpenKey(kServersKey, true)) {
        reg.WriteString(kDefaultServer, server);
        reg.CloseKey();
    }
}

void TKnownServers::RemoveKnownServer(const std::string &server) {
    TRegistry reg(KEY_ALL_ACCESS);
    const std::string key = ServerKey(server);
    if (IsStorableName(server) && reg.KeyExists(key)) {
        if (reg.OpenKey(key, false) && reg.HasSubKeys()) {
            DeleteValues(reg);
            reg.CloseKey();
        } else {
            reg.CloseKey();
            reg.DeleteKey(key);
        }
    }
    if (reg.KeyExists(kListKey) && reg.OpenKey(kListKey, false)) {
        if (reg.ValueExists(server)) reg.DeleteValue(server);
        reg.CloseKey();
    }
}
