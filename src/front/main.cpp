#include "front/front_end.h"

int main(int argc, char** argv) {
    return slotpush_process(argc, argv);
}
