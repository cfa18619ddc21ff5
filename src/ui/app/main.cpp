#include "app/Application.h"

int main(int argc, char* argv[]) { return zyfar::RunZyfar(argc, argv); }
