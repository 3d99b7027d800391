#include "app/Startup.h"

int main(int argc, char** argv) { return talyx::RunApplication(argc, argv); }
