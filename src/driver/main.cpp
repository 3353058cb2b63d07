#include "driver/installer_run.h"

int main(int argc, char** argv) { return runInstaller(argc, argv); }
