// Placeholder until this unit is written; every entry aborts.
#include "display/presenter.h"
#include <cstdlib>
int display_open(const char*, int, int) { std::abort(); }
int display_present(const uint32_t*) { std::abort(); }
void display_shutdown() { std::abort(); }
void DisplayDevice::init(int, int) { std::abort(); }
int DisplayDevice::present(const uint32_t*) { std::abort(); }
