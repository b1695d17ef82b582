// Registration and clean-up of the network library.
#include "libs/network/network.h"

#include "libs/network/network_commands.h"
#include "net/net_connection.h"
#include "net/net_events.h"
#include "net/net_state.h"
#include "net/net_udp.h"
#include "runtime/object_registry.h"
#include "vm/vm_aux.h"

namespace {

const qzCommandRow kNetworkCommands[] = {
    {"OpenConnection", NetCmdOpenConnection, 3, 3},
    {"CloseConnection", NetCmdCloseConnection, 1, 1},
    {"CreateServer", NetCmdCreateServer, 1, 4},
    {"CloseServer", NetCmdCloseServer, 1, 1},
    {"SendData", NetCmdSendData, 2, 2},
    {"ReceiveData", NetCmdReceiveData, 2, 5},
    {"GetConnectionIP", NetCmdGetConnectionIP},
    {"GetConnectionPort", NetCmdGetConnectionPort},
    {"GetHostName", NetCmdGetHostName, 0, 0},
    {"ToIP", NetCmdToIP},
    {"ToHostName", NetCmdToHostName},
    {"DownloadFile", NetCmdDownloadFile},
    {"UploadFile", NetCmdUploadFile},
    {"SetNetworkTimeout", NetCmdSetNetworkTimeout, 1, 1},
    {"GetLocalIP", NetCmdGetLocalIP},
    {"GetLocalPort", NetCmdGetLocalPort},
    {"CreateUDPObject", NetCmdCreateUDPObject, 1, 3},
    {"CloseUDPObject", NetCmdCloseUDPObject, 1, 1},
    {"SendUDPData", NetCmdSendUDPData, 4, 4},
    {"ReceiveUDPData", NetCmdReceiveUDPData, 1, 2},
    {"IsOnline", NetCmdIsOnline, 0, 0},
    {nullptr, nullptr},
};

const qzConstantRow kNetworkConstants[] = {
    {"RECEIVEALL", nullptr, 0},
    {"RECEIVEBYTES", nullptr, 1},
    {"RECEIVELINE", nullptr, 2},
    {"FTPASCII", nullptr, 97},
    {"FTPBINARY", nullptr, 105},
    {"DOWNLOADFILE_STATUS", nullptr, 0},
    {"UPLOADFILE_STATUS", nullptr, 0},
    {"UPLOADFILE_RESPONSE", nullptr, 1},
    {"NETWORKCONNECTION", nullptr, 99},
    {"NETWORKSERVER", nullptr, 115},
    {"NETWORKUDP", nullptr, 117},
    {"RECEIVEDATA_PACKET", nullptr, 0},
    {nullptr, nullptr, 0},
};

// The object lists, in the order servers, connections, UDP objects.
int OpenNetworkLibrary(VmState*) {
    int rc = RegisterObjectList(NetServerList());
    if (!rc) rc = RegisterObjectList(NetConnectionList());
    if (!rc) rc = RegisterObjectList(NetUdpList());
    return rc;
}

// The time-out and the layer flag as start-up finds them.
void ResetNetworkLibrary() { NetCloseLayer(); }

}  // namespace

const qzLibraryDescriptor qzNetworkLibrary = {
    .name = "network",
    .commands = kNetworkCommands,
    .constants = kNetworkConstants,
    .open = OpenNetworkLibrary,
    .cleanups = {{QZ_STAGE_NETWORK, FreeAllNetworkObjects}},
    .reset = ResetNetworkLibrary,
};

void FreeAllNetworkObjects(VmState* state) {
    FreeAllConnections(state);
    FreeAllUdpObjects(state);
    ResetNetEventCursors();
    NetCloseLayer();
}
