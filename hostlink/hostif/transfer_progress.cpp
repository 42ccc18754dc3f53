#include "transfer_progress.h"

namespace {
TransferCounter* installed_counter = nullptr;
}

TransferCounter* set_transfer_counter(TransferCounter* counter) {
    TransferCounter* previous = installed_counter;
    installed_counter = counter;
    return previous;
}

void count_transfer(int bytes) {
    if (installed_counter != nullptr && bytes > 0) installed_counter->moved(bytes);
}
