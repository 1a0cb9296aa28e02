// Requests to the 9x family's VWIN32 driver, shared by the drive probe and the sector access.
#pragma once

#include <cstdint>

#include "winapi.h"

inline constexpr const char* VWIN32_PROBE_NAME = "\\\\.\\VWIN32";
inline constexpr const char* VWIN32_ACCESS_NAME = "\\\\.\\vwin32";

inline constexpr DWORD_PTR DOS_GENERIC_IOCTL = 0x440D;  // interrupt 21h function 440Dh
inline constexpr DWORD_PTR CARRY_FLAG = 0x0001;

// Sends the register record to the driver, as both input and output; NO_ERROR when the call
// succeeded and the service left the carry flag clear. When the service refuses, its DOS error
// code (which Windows error codes share) is the reason.
DWORD vwin32_request(HANDLE vwin32, DWORD control_code, DIOC_REGISTERS& registers);
