#pragma once

// The network test commands of memory scripts. Every command gets the script
// line's argument text: everything after the first comma of the line, line end
// included (for example "02:00:00:00:00:07 2000\n"). Block commands also get
// the open script file and read their lines from it up to and including their
// end line, so the interpreter continues after the block.
//
// Commands returning std::string give the empty text on success; any other
// text is the failure message, which the interpreter prints as "Failure - %s"
// (it brings its own line end).

#include <cstdint>
#include <cstdio>
#include <string>

class EthernetLink;
class ZdpClient;

// CONFIG_NODE (block up to CONFIG_NODE_END): one CONFIGNODE request per line.
// With stop-on-failure a failing line's text is returned at once; otherwise it
// is printed and the block goes on.
std::string config_node_command(ZdpClient& zdp, std::FILE* script, const char* argument);

// CONFIG_SEND (block up to CONFIG_SEND_END). *ack_count receives the block's
// numacks for the next START_SEND. Invalid dgen_type, length, txpe_test or
// txpri_test end the program with status -1.
std::string config_send_command(ZdpClient& zdp, std::FILE* script, const char* argument, uint32_t* ack_count);

// CONFIG_RECEIVE (block up to CONFIG_RECEIVE_END).
std::string config_receive_command(ZdpClient& zdp, std::FILE* script, const char* argument);

// START_SEND: ack_count is the numacks of the last CONFIG_SEND of the script.
// Keyboard q then a ends the program (status 0 before the test started, -99 after).
std::string start_send_command(ZdpClient& zdp, const char* argument, uint32_t ack_count);

// STOP_SEND and STOP_RECV (one behaviour for both).
std::string stop_send_command(ZdpClient& zdp, const char* argument);

std::string enable_cert_command(ZdpClient& zdp, const char* argument);
std::string disable_cert_command(ZdpClient& zdp, const char* argument);

// PLAY_FILE: replays the capture file named by the second token; always succeeds.
std::string play_file_command(ZdpClient& zdp, const char* argument);

std::string report_stats_command(ZdpClient& zdp, const char* argument);
std::string reset_stats_command(ZdpClient& zdp, const char* argument);

// TEST_NETWORK (block up to TEST_NETWORK_END): every ordered pair of the
// station list read from the local device through `link`.
std::string test_network_command(EthernetLink& link, ZdpClient& zdp, std::FILE* script, const char* argument);

// TX_CFG "baud,const,mask,len": 1 on success, 0 on failure (the script stops).
int tx_cfg_command(EthernetLink& link, const char* argument);

// CALC_SNR: SNR from the snr_*.mat files of the current directory; the value
// (0.0 when it cannot be computed) is for callers that want it.
double calc_snr_command();

// Station and channel table listings; they print and never fail.
void get_stations_command(EthernetLink& link, const char* argument);
void get_tx_chan_table_command(EthernetLink& link);
void get_rx_chan_table_command(EthernetLink& link);
void get_tx_pe_command(EthernetLink& link, const char* argument);
void get_rx_pe_command(EthernetLink& link, const char* argument);
