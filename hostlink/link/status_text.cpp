#include "zdk_status.h"

const char* status_text(ZdkStatus status) {
    switch (status) {
    case ZDK_SUCCESS: return "ZDK_SUCESS\n";
    case ZDK_BASE: return "ZDK_BASE\n";
    case ZDK_UNSUPPORTED_ROUTINE: return "ZDK_UNSUPPORTED_ROUTINE\n";
    case ZDK_OUT_OF_MEMORY: return "ZDK_OUT_OF_MEMORY\n";
    case ZDK_INVALID_PARAMETER: return "ZDK_INVALID_PARAMETER\n";
    case ZDK_INVALID_STATE: return "ZDK_INVALID_STATE\n";
    case ZDK_UNSUPPORTED_INTERFACE: return "ZDK_UNSUPPORTED_INTERFACE\n";
    case ZDK_UNSUCCESSFUL: return "ZDK_UNSUCCESSFUL\n";
    case ZDK_SEND_FAILED: return "ZDK_SEND_FAILED\n";
    case ZDK_FAILED_QUERY_INTERFACE: return "ZDK_FAILED_QUERY_INTERFACE\n";
    case ZDK_INTERFACE_FAIL: return "ZDK_INTERFACE_FAIL\n";
    case ZDK_NOT_ETHERNET: return "ZDK_NOT_ETHERNET\n";
    case ZDK_SEND_PACKET_FAILED: return "ZDK_SEND_PACKET_FAILED\n";
    case ZDK_RECEIVE_PACKET_FAILED: return "ZDK_REEIVE_PACKET_FAILED\n";
    case ZDK_NO_MORE_INTERFACES: return "ZDK_NO_MORE_INTERFACES\n";
    case ZDK_THREAD_CREATION_FAILED: return "ZDK_THREAD_CREATION_FAILED\n";
    case ZDK_TIMEOUT_EXPIRED: return "ZDK_TIMEOUT_EXPIRED\n";
    default: return "unknown status\n";
    }
}
