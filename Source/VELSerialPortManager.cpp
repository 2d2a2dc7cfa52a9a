#include "VELSerialPortManager.h"

const char* const VELSerialPortsWereConnectedNotification = "VELSerialPortWasConnectedNotification";
const char* const VELSerialPortsWereDisconnectedNotification = "VELSerialPortWasDisconnectedNotification";
const char* const VELConnectedSerialPortsKey = "VELConnectedSerialPortsKey";
const char* const VELDisconnectedSerialPortsKey = "VELDisconnectedSerialPortsKey";
