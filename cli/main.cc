#include "cli/run.h"

int main(int argc, char** argv) {
    return RunRecmeter(argc, argv);
}
