#include "app/host_main.h"

int main(int argc, char** argv) {
  return orvane::RunHost(argc, argv);
}
