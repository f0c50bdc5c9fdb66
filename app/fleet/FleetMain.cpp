// nightpick-fleet: the tool for the list several observatories share in PostgreSQL.
#include <iostream>

#include "app/fleet/FleetCommands.h"

int main(int argc, char** argv) { return np::fleet::runFleetCommand(argc, argv, std::cout, std::cerr); }
