// The handlers of the network library's commands, by file.
#pragma once

struct VmState;

// network_tcp.cpp
int NetCmdOpenConnection(VmState* state);
int NetCmdCloseConnection(VmState* state);
int NetCmdCreateServer(VmState* state);
int NetCmdCloseServer(VmState* state);
int NetCmdSendData(VmState* state);
int NetCmdReceiveData(VmState* state);
int NetCmdGetConnectionIP(VmState* state);
int NetCmdGetConnectionPort(VmState* state);
int NetCmdGetLocalIP(VmState* state);
int NetCmdGetLocalPort(VmState* state);

// network_udp.cpp
int NetCmdCreateUDPObject(VmState* state);
int NetCmdCloseUDPObject(VmState* state);
int NetCmdSendUDPData(VmState* state);
int NetCmdReceiveUDPData(VmState* state);

// network_transfer.cpp
int NetCmdDownloadFile(VmState* state);
int NetCmdUploadFile(VmState* state);

// network_host.cpp
int NetCmdGetHostName(VmState* state);
int NetCmdToIP(VmState* state);
int NetCmdToHostName(VmState* state);
int NetCmdSetNetworkTimeout(VmState* state);
int NetCmdIsOnline(VmState* state);

// A port argument: the number truncated (saturating), so that any value outside 0..65535 stays
// outside.
int ReadPortArg(VmState* state, int index, int def, bool optional);
