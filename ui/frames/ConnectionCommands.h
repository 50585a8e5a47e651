#pragma once
// What the server list panel, the graph tiles and the logon dialog ask of the window that owns
// the connection slots and the known servers: connect, select and disconnect a slot, a slot's
// connection state, and the known-server commands. The main window implements it; a test may
// implement it to build one of them without the window. A slot is an index of the main window's
// slots: the occupied ones are 0..n-1, row i of "Active Connections", the tile whose Slot is i.
//
// Main thread only. The implementer outlives every frame and dialog it is handed to; they only
// borrow it.

#include <string>

class TConnectionCommands {
public:
    virtual ~TConnectionCommands() = default;

    // ---- Connection slots ----------------------------------------------------------------------
    // Connects into the first free slot and selects it. True when the connection stands; false
    // when it could not be made, the implementer having shown why; an error after the login raises.
    virtual bool ConnectToServer(const std::string &server, bool windowsAuth,
                                 const std::string &userId, const std::string &password) = 0;
    // Ends the slot's connection and frees its tile; the later slots move down by one.
    virtual void DisconnectServer(int slot) = 0;
    virtual void SelectServer(int slot) = 0;  // -1: none
    // The slot is in use and its server is not in the disconnected state.
    virtual bool IsServerConnected(int slot) const = 0;

    // ---- Known servers -------------------------------------------------------------------------
    // With the server's saved logon; when that fails, the logon dialog preset to the server.
    virtual void ConnectKnownServer(const std::string &server) = 0;
    // The logon dialog preset to the server; when no slot is free, says so instead.
    virtual void ConnectKnownServerWithPrompt(const std::string &server) = 0;
    // Forgets the server's saved logon and its entry among the known servers.
    virtual void RemoveKnownServer(const std::string &server) = 0;
};
