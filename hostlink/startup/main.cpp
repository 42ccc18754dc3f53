#include "link/ethernet_link.h"
#include "startup/startup.h"
#include "stop/stop_request.h"
#include "zdp/zdp_client.h"

// Exit statuses are the negative codes of start-up; the shell sees them modulo 256.
int main(int argc, char** argv) {
    write_output_by_line();
    install_stop_handlers();
    EthernetLink link;
    ZdpClient zdp;
    return run_hostlink(argc, argv, link, zdp);
}
