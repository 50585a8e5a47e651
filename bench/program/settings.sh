# Sourced by the whole-program benchmarks: the program's settings file as the program itself
# leaves it after logons with a saved password (TKnownServers::SaveLogon): COUNT known servers
# "127.0.0.1,PORT" .. "127.0.0.1,PORT+COUNT-1" in "List Of Servers", each with its saved logon,
# the first as the default server; polling once a second and InitialPanel the tab shown at start
# (4: "All Processes").
#
#   write_settings FILE PORT COUNT INITIAL_PANEL
write_settings() {
    local file=$1 port=$2 count=$3 panel=$4 i
    local password
    password=$(printf '%s' "Kivra-Test-1" | od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /,/g')
    {
        printf 'Windows Registry Editor Version 5.00\n\n'
        printf '[HKEY_CURRENT_USER\\SOFTWARE\\Vornix\\Kivrawatch]\n"RefreshInterval"=dword:00000001\n'
        printf '"InitialPanel"=dword:%08x\n\n' "$panel"
        printf '[HKEY_CURRENT_USER\\Software\\Vornix\\Servers]\n"Default Server"="127.0.0.1,%s"\n\n' "$port"
        printf '[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\List Of Servers]\n'
        for ((i = 0; i < count; ++i)); do printf '"127.0.0.1,%s"=""\n' $((port + i)); done
        for ((i = 0; i < count; ++i)); do
            printf '\n[HKEY_CURRENT_USER\\Software\\Vornix\\Servers\\127.0.0.1,%s]\n' $((port + i))
            printf '"UseWindowsNT"=dword:00000000\n"UserID"="sa"\n"Password"=hex:%s\n' "$password"
        done
    } >"$file"
}
