// The usable serial ports: a scan over the serial device map (the registry's
// "Hardware\\DeviceMap\\SerialComm") that marks COM1 to COM12 in g_abPortAvailable.
#pragma once

// True when the value (name, data) names a usable port not counted before; sets that port's flag
// in g_abPortAvailable and logs "COMn identified". The name must be of one of the forms
// "COM<n>", "Serial<n>" or "\Device\Serial<n>" (any of three letter cases), the data exactly
// "COM1".."COM12".
bool IsSerialPortEntry(const char* name, const char* data);

// Reads at most 50 values of the map and counts at most 12 ports into g_nPortCount (cleared
// first, with the flags). False when the scan buffers could not be had.
bool ScanSerialPorts();
