#pragma once

#include <cstdint>

// Status of a link operation: 0 is success, everything else names a failure.
using ZdkStatus = int32_t;

constexpr ZdkStatus ZDK_SUCCESS = 0;
constexpr ZdkStatus ZDK_BASE = 256;
constexpr ZdkStatus ZDK_UNSUPPORTED_ROUTINE = 257;
constexpr ZdkStatus ZDK_OUT_OF_MEMORY = 258;
constexpr ZdkStatus ZDK_INVALID_PARAMETER = 259;
constexpr ZdkStatus ZDK_INVALID_STATE = 260;
constexpr ZdkStatus ZDK_UNSUPPORTED_INTERFACE = 262;
constexpr ZdkStatus ZDK_UNSUCCESSFUL = 263;
constexpr ZdkStatus ZDK_SEND_FAILED = 264;
constexpr ZdkStatus ZDK_FAILED_QUERY_INTERFACE = 265;
constexpr ZdkStatus ZDK_INTERFACE_FAIL = 266;
constexpr ZdkStatus ZDK_NOT_ETHERNET = 267;
constexpr ZdkStatus ZDK_SEND_PACKET_FAILED = 268;
constexpr ZdkStatus ZDK_RECEIVE_PACKET_FAILED = 269;
constexpr ZdkStatus ZDK_NO_MORE_INTERFACES = 270;
constexpr ZdkStatus ZDK_THREAD_CREATION_FAILED = 271;
constexpr ZdkStatus ZDK_TIMEOUT_EXPIRED = 272;
// Returned by operations that need a capture handle when none is open; it has
// no name of its own and prints as "unknown status".
constexpr ZdkStatus ZDK_NO_CAPTURE_HANDLE = 5023;

// Printable text of a status, with its trailing line end.
const char* status_text(ZdkStatus status);
